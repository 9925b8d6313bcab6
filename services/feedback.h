// The feedback sent to the maker: the address check, the text and fields the
// dialog sends, and how the service's answer is judged. The dialog itself
// (tiles, message box, cursor) lives in the window layer and calls these.
//
// Sending, as the dialog does it on the main thread:
//   message = FeedbackMessage(memo text)         empty: beep, focus, stop
//   address = TrimBlanksAndControls(e-mail text) non-empty and !IsValidEmail: refuse
//   ok = SendFeedback(FeedbackFields(appName, appVersion,
//            FeedbackText(mood, likeCaption, dislikeCaption, message), address))
#pragma once

#include <QString>
#include <QStringList>

namespace services {

inline constexpr int kFeedbackTimeoutMs = 3000;

// True when the whole text is an e-mail address of the plain form
// name@domain.tld that the service accepts (ASCII letters, digits and a few
// signs; no blanks; the domain has a dot and does not end in one).
bool IsValidEmail(const QString& text);

// The tile the user selected.
enum class TFeedbackMood { None, Like, Dislike };

// The memo's text with its line breaks as CR LF, trimmed of blanks and
// control characters at both ends.
QString FeedbackMessage(const QString& memoText);

// "I like it!" (always English), plus " (" + caption + ")" when the like
// tile's translated caption differs from it; DislikeLine likewise.
QString LikeLine(const QString& likeCaption);
QString DislikeLine(const QString& dislikeCaption);

// The selected tile's line and a CR (a CR alone), then the message; the
// message alone when no tile is selected.
QString FeedbackText(TFeedbackMood mood, const QString& likeCaption,
                     const QString& dislikeCaption, const QString& message);

// "cmd=feedback", "appname=", "version=", "feedback=" and, only when `email`
// is not empty, "email=".
QStringList FeedbackFields(const QString& appName, const QString& appVersion,
                           const QString& feedbackText, const QString& email);

// True when the answer, read as lines, joined again and trimmed of blanks and
// control characters, is exactly "OK".
bool IsFeedbackAccepted(const QString& answer);

// Sends the fields to php/feedback.php (https, then http) with 3000 ms
// time-outs and judges the answer; a failed request counts as an empty answer.
// Never throws.
bool SendFeedback(const QStringList& fields);

}  // namespace services
