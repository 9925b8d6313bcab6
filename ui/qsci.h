#pragma once
// QScintilla's headers use Qt's bare "signals" and "slots" keywords, which
// this project switches off (QT_NO_KEYWORDS); include them through here.
#ifndef signals
#define signals Q_SIGNALS
#define LUMASIFT_UNDEF_SIGNALS
#endif
#ifndef slots
#define slots Q_SLOTS
#define LUMASIFT_UNDEF_SLOTS
#endif
#include <Qsci/qsciscintilla.h>
#ifdef LUMASIFT_UNDEF_SIGNALS
#undef signals
#undef LUMASIFT_UNDEF_SIGNALS
#endif
#ifdef LUMASIFT_UNDEF_SLOTS
#undef slots
#undef LUMASIFT_UNDEF_SLOTS
#endif
