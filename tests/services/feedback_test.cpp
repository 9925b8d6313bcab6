#include "services/feedback.h"

#include "services/service_request.h"
#include "test_authority.h"

#include <gtest/gtest.h>

#include <memory>

using services::TFeedbackMood;
using testsupport::LoopbackServer;
using testsupport::RefusingPort;
using services_test::SetReply;

namespace {

TEST(IsValidEmail, AddressTable) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"user@example.com", true},
      {"First.Last+tag@mail.example.co.uk", true},
      {"a_b-c@ex-ample.org", true},
      {"x@y.z", true},
      {"USER@EXAMPLE.COM", true},
      {"", false},
      {"user name@example.com", false},  // a blank inside
      {" user@example.com", false},
      {"user@example.com ", false},
      {"j\xC3\xBCrgen@example.com", false},  // a letter outside ASCII
      {"user@example\xC3\xA7.com", false},
      {"user@examplecom", false},  // no dot after the at sign
      {"user@example.com.", false},  // a final dot
      {"user@@example.com", false},
      {"@example.com", false},
      {"user@.com", false},
      {"user@exa_mple.com", false},
      {"user@example.com\n", false},  // the whole text, a final line break included
      {"user@example.com\nx@y.z", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(services::IsValidEmail(QString::fromUtf8(c.text)), c.valid);
  }
}

TEST(FeedbackText, TileLineThenCrThenMessage) {
  const QString message = services::FeedbackMessage(QStringLiteral(" \n Great tool\nThanks \t\n\n"));
  EXPECT_EQ(message, QStringLiteral("Great tool\r\nThanks"));

  // English: the caption equals the fixed line, so no brackets.
  EXPECT_EQ(services::FeedbackText(TFeedbackMood::Like, QStringLiteral("I like it!"),
                                   QStringLiteral("I dislike it!"), message),
            QStringLiteral("I like it!\rGreat tool\r\nThanks"));
  // Another language: the English line with the translated caption in brackets.
  EXPECT_EQ(services::FeedbackText(TFeedbackMood::Like, QStringLiteral("Gefällt mir!"),
                                   QStringLiteral("Gefällt mir nicht!"), message),
            QStringLiteral("I like it! (Gefällt mir!)\rGreat tool\r\nThanks"));
  EXPECT_EQ(services::FeedbackText(TFeedbackMood::Dislike, QStringLiteral("J'aime !"),
                                   QStringLiteral("Je n'aime pas !"), QStringLiteral("Slow")),
            QStringLiteral("I dislike it! (Je n'aime pas !)\rSlow"));
  EXPECT_EQ(services::FeedbackText(TFeedbackMood::None, QStringLiteral("Gefällt mir!"),
                                   QStringLiteral("Gefällt mir nicht!"), QStringLiteral("Hi")),
            QStringLiteral("Hi"));
}

TEST(FeedbackText, BlankOnlyMessageIsEmpty) {
  EXPECT_TRUE(services::FeedbackMessage(QStringLiteral(" \r\n\t \n \r")).isEmpty());
  EXPECT_TRUE(services::FeedbackMessage(QString()).isEmpty());
}

TEST(FeedbackFields, EmailFieldOnlyWhenGiven) {
  EXPECT_EQ(services::FeedbackFields(QStringLiteral("CORVANE - Lumasift"), QStringLiteral("1.5"),
                                     QStringLiteral("I like it!\rGood"), QString()),
            (QStringList{"cmd=feedback", "appname=CORVANE - Lumasift", "version=1.5",
                         "feedback=I like it!\rGood"}));
  EXPECT_EQ(services::FeedbackFields(QStringLiteral("CORVANE - Lumasift"), QStringLiteral("1.5"),
                                     QStringLiteral("Good"), QStringLiteral("a@b.cd")),
            (QStringList{"cmd=feedback", "appname=CORVANE - Lumasift", "version=1.5",
                         "feedback=Good", "email=a@b.cd"}));
}

TEST(IsFeedbackAccepted, ExactlyOkOnceTrimmed) {
  struct Case {
    const char* answer;
    bool accepted;
  };
  const Case cases[] = {
      {"OK", true},       {"OK\r\n", true},  {"OK\n", true},   {"\r\nOK\r\n\r\n", true},
      {" OK\t", true},    {"ok", false},     {"OK.", false},   {"", false},
      {"O\nK", false},    {"OK\nOK", false}, {"ERROR", false}, {"Ok", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    EXPECT_EQ(services::IsFeedbackAccepted(QString::fromUtf8(c.answer)), c.accepted);
  }
}

class SendFeedbackTest : public services_test::TMakerServiceTest {};

TEST_F(SendFeedbackTest, PostsTheFieldsAndAcceptsOk) {
  LoopbackServer secure(authority_->ServerOptions());
  RefusingPort unused;
  SetReply(secure, {200, "text/plain", "OK\r\n", 0});
  PointMakerAt(secure.Port(), unused.Port());

  const QStringList fields = services::FeedbackFields(
      QStringLiteral("CORVANE - Lumasift"), QStringLiteral("1.5"),
      services::FeedbackText(TFeedbackMood::Like, QStringLiteral("Gefällt mir!"),
                             QStringLiteral("Gefällt mir nicht!"),
                             services::FeedbackMessage(QStringLiteral("Sehr gut\nDanke"))),
      QString());
  EXPECT_TRUE(services::SendFeedback(fields));

  const auto requests = secure.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/php/feedback.php");
  EXPECT_EQ(requests[0].body,
            "cmd=feedback&appname=CORVANE%20-%20Lumasift&version=1.5"
            "&feedback=I%20like%20it%21%20%28Gef%C3%A4llt%20mir%21%29%0DSehr%20gut%0D%0ADanke");
}

TEST_F(SendFeedbackTest, AnythingButOkIsAFailure) {
  LoopbackServer secure(authority_->ServerOptions());
  LoopbackServer plain;
  PointMakerAt(secure.Port(), plain.Port());
  const QStringList fields = {QStringLiteral("cmd=feedback"), QStringLiteral("feedback=x")};

  SetReply(secure, {200, "text/plain", "ok", 0});
  EXPECT_FALSE(services::SendFeedback(fields));
  SetReply(secure, {200, "text/plain", "OK.", 0});
  EXPECT_FALSE(services::SendFeedback(fields));
  // A server error page over https is an answer, not "OK"; http is not asked.
  SetReply(secure, {500, "text/html", "<html>Internal Server Error</html>", 0});
  EXPECT_FALSE(services::SendFeedback(fields));
  EXPECT_TRUE(plain.Requests().empty());
}

TEST_F(SendFeedbackTest, FallsBackToHttpAndFailsWhenNeitherAnswers) {
  RefusingPort refusedSecure;
  LoopbackServer plain;
  SetReply(plain, {200, "text/plain", "OK", 0});
  PointMakerAt(refusedSecure.Port(), plain.Port());
  EXPECT_TRUE(services::SendFeedback({QStringLiteral("cmd=feedback")}));

  SetReply(plain, {500, "text/plain", "OK", 0});  // an error status over http is a failure
  EXPECT_FALSE(services::SendFeedback({QStringLiteral("cmd=feedback")}));

  RefusingPort refusedPlain;
  PointMakerAt(refusedSecure.Port(), refusedPlain.Port());
  EXPECT_FALSE(services::SendFeedback({QStringLiteral("cmd=feedback")}));
}

}  // namespace
