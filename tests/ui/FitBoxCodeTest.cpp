// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QAbstractButton>
#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QTest>

#include "app/QtText.h"
#include "core/Options.h"
#include "core/StringTable.h"
#include "tests/support/Sandbox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/CPublishSheet.h"

namespace {

// What the box does to the code that goes into the page, for the player chosen on the page.
TEST(FitBoxCodeTest, TheBoxTurnsTheFittingStyleOnAndOffInThePublishedCode) {
    test::Environment env;
    COptions* options = COptions::Instance();
    options->m_strWorkFolder = env.sandbox / "work";
    options->LoadState();
    const std::string video = env.sandbox / "in/wide.mp4";
    env.sandbox.MakeFolder("in");
    ASSERT_TRUE(test::MakeMedia(video, 1, true, false,
                                {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"},
                                640, 360));

    auto sheet = test::ShownSheet();
    QLineEdit* edit = sheet->currentPage()->findChild<QComboBox*>("mediaPathBox")->lineEdit();
    QTest::keyClicks(edit, ToQt(video));
    QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
    ASSERT_EQ(sheet->currentId(), CPublishSheet::kPageSelectPlayer);
    sheet->currentPage()->layout()->activate();
    QCheckBox* fit = sheet->currentPage()->findChild<QCheckBox*>("fitBox");
    ASSERT_NE(fit, nullptr);
    ASSERT_TRUE(fit->isChecked());

    const std::string page = env.sandbox / "site/index.htm";
    const std::string style =
        "style=\"width:640px;max-width:100%;height:auto;aspect-ratio:640/360;display:block\"";
    const auto bodyOnThePublishPage = [&] {
        QTest::mouseClick(sheet->button(QWizard::NextButton), Qt::LeftButton);
        EXPECT_EQ(sheet->currentId(), CPublishSheet::kPagePublishHTML);
        const PageCode code = sheet->State().m_job.MakeCode(page, PLAYER_MODE_PUBLISH);
        QTest::mouseClick(sheet->button(QWizard::BackButton), Qt::LeftButton);
        EXPECT_TRUE(code.made);
        return code.body;
    };
    const std::string fitted = bodyOnThePublishPage();
    EXPECT_NE(fitted.find(style), std::string::npos) << fitted;
    EXPECT_NE(fitted.find("width=\"640\""), std::string::npos) << "the size stays in the markup";

    QTest::mouseClick(fit, Qt::LeftButton);
    EXPECT_EQ(options->m_bFitPlayer, 0);
    const std::string asItWas = bodyOnThePublishPage();
    EXPECT_EQ(asItWas.find("max-width"), std::string::npos) << asItWas;
    EXPECT_NE(asItWas.find("width=\"640\""), std::string::npos);

    QTest::mouseClick(fit, Qt::LeftButton);
    EXPECT_EQ(bodyOnThePublishPage(), fitted);
}

}  // namespace
