// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CDlgAbout.h"

#include <span>

#include <fmt/printf.h>

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/CBoxReport.h"
#include "app/QtText.h"
#include "app/ShippedLibraries.h"
#include "core/Shell.h"
#include "core/StringTable.h"
#include "ui/DialogFrame.h"

namespace {

QLabel* MakeLink(const std::string& url, const QString& shown, QWidget* parent) {
    auto* link = new QLabel(parent);
    link->setTextFormat(Qt::RichText);
    link->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                      .arg(ToQt(url).toHtmlEscaped(), shown.toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    return link;
}

QLabel* LibraryList(std::span<const ShippedLibrary> rows, const char* name, QWidget* parent) {
    QStringList lines;
    for (const ShippedLibrary& library : rows) {
        lines << ToQt(GetShippedLibraryText(library));
    }
    auto* label = new QLabel(lines.join(QLatin1Char('\n')), parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPlainTextEdit* MakeLicence(QWidget* parent) {
    auto* licence = new QPlainTextEdit(parent);
    licence->setObjectName(QStringLiteral("licence"));
    licence->setReadOnly(true);
    QFile text(QStringLiteral(":/dede5/COPYING"));
    if (text.open(QIODevice::ReadOnly)) {
        licence->setPlainText(QString::fromUtf8(text.readAll()));
    }
    licence->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    licence->setMinimumSize(licence->fontMetrics().averageCharWidth() * 80,
                            licence->fontMetrics().height() * 10);
    return licence;
}

}  // namespace

CDlgAbout::CDlgAbout(const CVersionInfo& version, QWidget* parent) : QDialog(parent) {
    setWindowTitle(ToQt(LoadStringRes(IDS_ABOUT)));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(QPixmap(QStringLiteral(":/dede5/logo48.png")));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* title = new QLabel(this);
    title->setObjectName(QStringLiteral("title"));
    title->setText(ToQt(LoadStringRes(IDS_APP_TITLE) +
                        fmt::sprintf(" %d.%d", version.m_nMajor, version.m_nMinor)));
    QFont bold = title->font();
    bold.setPointSize(9);
    bold.setBold(true);
    title->setFont(bold);

    // Without a build text the line stays as the dialog was drawn: empty and hidden.
    auto* build = new QLabel(this);
    build->setObjectName(QStringLiteral("build"));
    if (!version.m_strPrivateBuild.empty()) {
        build->setText(ToQt(fmt::sprintf("Build: %s", version.m_strPrivateBuild)));
    }
    build->setVisible(!build->text().isEmpty());

    QGridLayout* links = MakeLinks();

    auto* librariesLabel = new QLabel(QStringLiteral("Player libraries included:"), this);
    QLabel* libraries = LibraryList(GetShippedLibraries(), "libraries", this);
    auto* linkedLabel = new QLabel(QStringLiteral("Built with:"), this);
    QLabel* linked = LibraryList(GetLinkedLibraries(), "linkedLibraries", this);

    auto* licenceLabel = new QLabel(
        QStringLiteral("This program is free software, licensed under the GNU General Public "
                       "License, version 3 or later (GPL-3.0-or-later):"),
        this);
    licenceLabel->setWordWrap(true);
    QPlainTextEdit* licence = MakeLicence(this);
    licenceLabel->setBuddy(licence);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(build);
    texts->addSpacing(8);
    texts->addLayout(links);
    texts->addSpacing(8);
    texts->addWidget(librariesLabel);
    texts->addWidget(libraries);
    texts->addSpacing(8);
    texts->addWidget(linkedLabel);
    texts->addWidget(linked);
    texts->addSpacing(8);
    texts->addWidget(licenceLabel);
    texts->addWidget(licence);

    auto* frame = new QFrame(this);
    auto* framed = new QHBoxLayout(frame);
    frame->setFrameShape(QFrame::StyledPanel);
    framed->addWidget(icon);
    framed->addSpacing(8);
    framed->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ApplyDialogFrame(*this);
}

QGridLayout* CDlgAbout::MakeLinks() {
    const std::string& website = LoadStringRes(IDS_WEBSITE_URL);
    const std::string& support = LoadStringRes(IDS_SUPPORT_ADDRESS);
    QString supportShown = ToQt(support);
    supportShown.remove(QRegularExpression(QStringLiteral("^mailto:")));
    auto* websiteLink = MakeLink(website, ToQt(website), this);
    websiteLink->setObjectName(QStringLiteral("website"));
    auto* supportLink = MakeLink(support, supportShown, this);
    supportLink->setObjectName(QStringLiteral("support"));
    connect(websiteLink, &QLabel::linkActivated, this, &CDlgAbout::OnLink);
    connect(supportLink, &QLabel::linkActivated, this, &CDlgAbout::OnLink);

    auto* links = new QGridLayout;
    links->addWidget(new QLabel(QStringLiteral("Website:"), this), 0, 0);
    links->addWidget(websiteLink, 0, 1);
    links->addWidget(new QLabel(QStringLiteral("Support:"), this), 1, 0);
    links->addWidget(supportLink, 1, 1);
    links->setColumnStretch(1, 1);
    return links;
}

void CDlgAbout::OnLink(const QString& url) {
    ShowMessage(OpenDefaultOrReport(FromQt(url)).why);
}
