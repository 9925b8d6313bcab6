#pragma once
// The readable form of a record's evidence: the command-line tool's
// --explain blocks, the text the window's evidence dialog copies, the
// versions its tooltip shows. One implementation for both front ends; the
// window passes its translation function for the labels, the tool none.
#include <QString>

#include <functional>

#include "engine/evidence.h"
#include "run/record_evidence.h"

namespace run {

// Translates an English label; identity when not given.
using TLabelFunction = std::function<QString(const QString&)>;

// How a finding was found: "plain entry 1", "expression 22", "header Server";
// an entry from a signature file adds " (FILE line L)".
QString FoundBy(const engine::TFinding& finding, const TLabelFunction& tr = {});

// "expression 2 (my.txt line 7) stopped at its limit": an expression of a
// signature file that could not be decided on a page.
QString StoppedText(const engine::TStoppedExpression& stopped, const TLabelFunction& tr = {});

// The match inside its context, the match between "[[" and "]]":
// "...href=\"[[/wp-content/]]themes/x.css\"...". Empty for a header finding.
QString MatchInContext(const engine::TFinding& finding);

// "WordPress 6.3.1" per known version, one per line (LF); empty when none.
QString VersionsText(const TEvidence& evidence);

// The URL to show as where the fetch ended ("Ended at:"): the evidence's
// final URL when the fetch was redirected and it differs from `title`;
// empty otherwise. The window's evidence dialog and ExplainText both ask
// this, so they always agree.
QString EndedAt(const QString& title, const TEvidence& evidence);

// One block for a site: its title line (the URL or page file), then the
// platforms text or, when the fetch `failed`, its error, when an archive
// recorded the page (if it did), the URL the fetch ended at when known and
// other than the title, the versions, and each finding with how it was found
// and its match in context, and last each expression that stopped at its
// limit on the page. Lines end with LF;
// no blank line at the end. Control characters of the site's or the input's
// texts are escaped (run::PrintableText), so every line stays one line.
QString ExplainText(const QString& title, const QString& platforms, bool failed, const TEvidence& evidence,
                    const TLabelFunction& tr = {});

}  // namespace run
