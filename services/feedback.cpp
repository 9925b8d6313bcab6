#include "services/feedback.h"

#include "i18n/codepage.h"
#include "services/service_request.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <exception>
#include <memory>
#include <stdexcept>

namespace services {
namespace {

const QString kLikeLine = QStringLiteral("I like it!");
const QString kDislikeLine = QStringLiteral("I dislike it!");

struct TCodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct TMatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

const pcre2_code* EmailExpression() {
  // Compiled once; a compiled pattern is read-only and may be matched from
  // any thread with its own match data.
  static const std::unique_ptr<pcre2_code, TCodeDeleter> code = [] {
    static const char pattern[] =
        R"(^[a-zA-Z0-9_.+-]+@[a-zA-Z0-9-]+\.[a-zA-Z0-9-.]*[a-zA-Z0-9]+$)";
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern),
                                         PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr);
    if (!compiled) throw std::logic_error("The e-mail expression does not compile");
    return std::unique_ptr<pcre2_code, TCodeDeleter>(compiled);
  }();
  return code.get();
}

QString Captioned(const QString& line, const QString& caption) {
  return caption == line ? line : line + QStringLiteral(" (") + caption + u')';
}

}  // namespace

bool IsValidEmail(const QString& text) {
  const QByteArray subject = text.toUtf8();
  const pcre2_code* code = EmailExpression();
  std::unique_ptr<pcre2_match_data, TMatchDataDeleter> data(
      pcre2_match_data_create_from_pattern(code, nullptr));
  if (!data) return false;
  // The match must cover the whole text: "$" alone would also accept a final
  // line break.
  const int result = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.constData()),
                                 static_cast<PCRE2_SIZE>(subject.size()), 0,
                                 PCRE2_ANCHORED | PCRE2_ENDANCHORED | PCRE2_NOTEMPTY, data.get(),
                                 nullptr);
  return result > 0;
}

QString FeedbackMessage(const QString& memoText) {
  QString text = memoText;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  text.replace(QChar::ParagraphSeparator, u'\n');
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return TrimBlanksAndControls(text);
}

QString LikeLine(const QString& likeCaption) { return Captioned(kLikeLine, likeCaption); }

QString DislikeLine(const QString& dislikeCaption) {
  return Captioned(kDislikeLine, dislikeCaption);
}

QString FeedbackText(TFeedbackMood mood, const QString& likeCaption,
                     const QString& dislikeCaption, const QString& message) {
  switch (mood) {
    case TFeedbackMood::Like:
      return LikeLine(likeCaption) + u'\r' + message;
    case TFeedbackMood::Dislike:
      return DislikeLine(dislikeCaption) + u'\r' + message;
    case TFeedbackMood::None:
      break;
  }
  return message;
}

QStringList FeedbackFields(const QString& appName, const QString& appVersion,
                           const QString& feedbackText, const QString& email) {
  QStringList fields = {
      QStringLiteral("cmd=feedback"),
      QStringLiteral("appname=") + appName,
      QStringLiteral("version=") + appVersion,
      QStringLiteral("feedback=") + feedbackText,
  };
  if (!email.isEmpty()) fields.append(QStringLiteral("email=") + email);
  return fields;
}

bool IsFeedbackAccepted(const QString& answer) {
  QString joined;
  for (const QString& line : i18n::SplitTextLines(answer)) joined += line + QStringLiteral("\r\n");
  return TrimBlanksAndControls(joined) == u"OK";
}

bool SendFeedback(const QStringList& fields) {
  QString answer;
  try {
    answer = ServiceRequest(QStringLiteral("php/feedback.php"), fields, kFeedbackTimeoutMs);
  } catch (const std::exception&) {
    answer.clear();
  }
  return IsFeedbackAccepted(answer);
}

}  // namespace services
