#include "ui/evidence_dialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "i18n/language.h"
#include "run/evidence_text.h"
#include "run/handover_steps.h"
#include "ui/palette_colours.h"

namespace ui {

namespace {


QString Html(const std::u16string& text) { return QString::fromStdU16String(text).toHtmlEscaped(); }

run::TLabelFunction Translator() {
  // Each label of the evidence lines spelled out, so that every text the
  // program translates stands in a call of its own.
  return [](const QString& text) -> QString {
    if (text == QLatin1String("plain entry %1")) return i18n::Translate(QStringLiteral("plain entry %1"));
    if (text == QLatin1String("expression %1")) return i18n::Translate(QStringLiteral("expression %1"));
    if (text == QLatin1String("extra plain entry %1")) return i18n::Translate(QStringLiteral("extra plain entry %1"));
    if (text == QLatin1String("extra expression %1")) return i18n::Translate(QStringLiteral("extra expression %1"));
    if (text == QLatin1String("extra generator entry %1")) {
      return i18n::Translate(QStringLiteral("extra generator entry %1"));
    }
    if (text == QLatin1String("header %1")) return i18n::Translate(QStringLiteral("header %1"));
    if (text == QLatin1String("%1 line %2")) return i18n::Translate(QStringLiteral("%1 line %2"));
    if (text == QLatin1String("Platforms:")) return i18n::Translate(QStringLiteral("Platforms:"));
    if (text == QLatin1String("Ended at:")) return i18n::Translate(QStringLiteral("Ended at:"));
    if (text == QLatin1String("Versions:")) return i18n::Translate(QStringLiteral("Versions:"));
    if (text == QLatin1String("offset %1")) return i18n::Translate(QStringLiteral("offset %1"));
    if (text == QLatin1String("duplicate, left out")) return i18n::Translate(QStringLiteral("duplicate, left out"));
    if (text == QLatin1String("Nothing matched.")) return i18n::Translate(QStringLiteral("Nothing matched."));
    if (text == QLatin1String("expression %1 (%2 line %3) stopped at its limit"))
      return i18n::Translate(QStringLiteral("expression %1 (%2 line %3) stopped at its limit"));
    return text;
  };
}

}  // namespace

TEvidenceDialog::TEvidenceDialog(const run::TWorkRecord& record, QWidget* parent) : QDialog(parent), record_(record) {
  setObjectName(QStringLiteral("EvidenceDialog"));
  setWindowTitle(i18n::Translate(QStringLiteral("Evidence")));
  auto* layout = new QVBoxLayout(this);

  auto* title = new QLabel(record_.FURL, this);
  title->setObjectName(QStringLiteral("EvidenceUrl"));
  title->setTextInteractionFlags(Qt::TextSelectableByMouse);
  title->setTextFormat(Qt::PlainText);
  layout->addWidget(title);

  view_ = new QTextBrowser(this);
  view_->setObjectName(QStringLiteral("EvidenceView"));
  view_->setOpenLinks(false);
  view_->setHtml(BodyHtml());
  layout->addWidget(view_, 1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* copy = buttons->addButton(i18n::Translate(QStringLiteral("Copy")), QDialogButtonBox::ActionRole);
  copy->setObjectName(QStringLiteral("ButtonCopy"));
  QPushButton* close = buttons->addButton(i18n::Translate(QStringLiteral("Close")), QDialogButtonBox::RejectRole);
  close->setObjectName(QStringLiteral("ButtonClose"));
  close->setDefault(true);
  connect(copy, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(CopyText()); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(640, 360);
}

QString TEvidenceDialog::BodyHtml() const {
  // In the order of CopyText, from the same decisions.
  QString html;
  if (run::FetchFailed(record_)) {
    html += QStringLiteral("<p>") + record_.FPlatform.toHtmlEscaped() + QStringLiteral("</p>");
  } else {
    html += QStringLiteral("<p><b>") + i18n::Translate(QStringLiteral("Platforms:")).toHtmlEscaped() +
            QStringLiteral("</b> ") + record_.FPlatform.toHtmlEscaped() + QStringLiteral("</p>");
  }
  const QString ended = run::EndedAt(record_.FURL, record_.evidence);
  if (!ended.isEmpty()) {
    html += QStringLiteral("<p>") + i18n::Translate(QStringLiteral("Ended at:")).toHtmlEscaped() + QLatin1Char(' ') +
            ended.toHtmlEscaped() + QStringLiteral("</p>");
  }
  if (run::FetchFailed(record_)) return html;
  const auto versions = record_.evidence.Versions();
  const auto findings = record_.evidence.Findings();
  if (findings.empty()) html += QStringLiteral("<p>") + i18n::Translate(QStringLiteral("Nothing matched.")).toHtmlEscaped() + QStringLiteral("</p>");
  const auto translate = Translator();
  const QString highlight = HighlightStyle(palette());
  for (const auto& f : findings) {
    html += QStringLiteral("<p><b>") + Html(f.platform) + QStringLiteral("</b>");
    if (f.duplicate) html += QStringLiteral(" <i>(") + i18n::Translate(QStringLiteral("duplicate, left out")).toHtmlEscaped() + QStringLiteral(")</i>");
    html += QStringLiteral("<br>") + i18n::Translate(QStringLiteral("Found by:")).toHtmlEscaped() + QLatin1Char(' ') +
            run::FoundBy(f, translate).toHtmlEscaped();
    for (const auto& v : versions) {
      if (v.platform == f.platform && !f.duplicate) {
        html += QStringLiteral("<br>") + i18n::Translate(QStringLiteral("Version:")).toHtmlEscaped() + QLatin1Char(' ') + Html(v.version);
      }
    }
    html += QStringLiteral("<br><code>");
    if (f.source == engine::TFindingSource::Header) {
      html += Html(f.header) + QStringLiteral(": ") + Html(f.match);
    } else {
      html += Html(f.before) + QStringLiteral("<span style=\"") + highlight + QStringLiteral("\">") + Html(f.match) +
              QStringLiteral("</span>") + Html(f.after);
    }
    html += QStringLiteral("</code></p>");
  }
  for (const auto& stopped : record_.evidence.Stopped())
    html += QStringLiteral("<p><i>") + run::StoppedText(stopped, translate).toHtmlEscaped() + QStringLiteral("</i></p>");
  return html;
}

QString HighlightStyle(const QPalette& palette) {
  // Both colours are set, never one inherited: a light marker under a dark
  // palette's light text was unreadable. Dark text on light yellow for a
  // light palette, light text on dark amber for a dark one; both above 4.5:1.
  return IsDarkPalette(palette) ? QStringLiteral("background-color:#6b4f00;color:#ffffff;font-weight:bold")
              : QStringLiteral("background-color:#ffe066;color:#000000;font-weight:bold");
}

QString TEvidenceDialog::CopyText() const {
  return run::ExplainText(record_.FURL, record_.FPlatform, run::FetchFailed(record_), record_.evidence, Translator());
}

QString StoppedExpressionText(const engine::TStoppedExpression& stopped) {
  return run::StoppedText(stopped, Translator());
}

QString VersionsToolTip(const run::TWorkRecord& record) {
  if (record.FImageNo != run::kImageDone) return QString();
  const QString versions = run::VersionsText(record.evidence);
  if (versions.isEmpty()) return QString();
  return i18n::Translate(QStringLiteral("Versions:")) + QLatin1Char('\n') + versions;
}

}  // namespace ui
