#pragma once
// Room for a window's caption. The desktop's window manager draws the title
// bar, in a font of its own, beside the window's icon and buttons; a window
// narrower than its caption shows it cut. CaptionWidthNeeded estimates the
// width that shows the whole caption: the caption in a bold font somewhat
// wider than the interface's, plus room for the icon and four buttons (eight
// text lines' height), whatever the scaling. Main thread only.

class QWidget;

namespace ui {

int CaptionWidthNeeded(const QWidget& window);

// Widens the window to CaptionWidthNeeded when it is narrower; a window of
// fixed size stays fixed, at the new width.
void FitCaption(QWidget& window);

}  // namespace ui
