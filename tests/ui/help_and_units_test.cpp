// The help table, the unit names and the real message boxes.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ui/help_texts.h"
#include "ui/units_name.h"
#include "ui/window_services.h"
#include "ui_test_support.h"

namespace hydrosk::ui::testing {
namespace {

struct UnitCase {
    int code;
    const char* flow;
    const char* pressure;
};

TEST(GetUnitsNameTest, PairsEachFlowUnitWithItsPressureUnit) {
    const UnitCase cases[] = {{0, "CFS", "psi"},   {1, "GPM", "psi"},   {2, "MGD", "psi"},
                              {3, "IMGD", "psi"},  {4, "AFD", "psi"},   {5, "LPS", "meter"},
                              {6, "LPM", "meter"}, {7, "MLD", "meter"}, {8, "CMH", "meter"},
                              {9, "CMD", "meter"}};
    for (const UnitCase& c : cases) {
        QString flow, pressure;
        GetUnitsName(c.code, flow, pressure);
        EXPECT_EQ(flow, c.flow) << c.code;
        EXPECT_EQ(pressure, c.pressure) << c.code;
    }
}

TEST(GetUnitsNameTest, UnknownCodeLeavesBothNames) {
    for (int code : {-1, 10, 99}) {
        QString flow = QStringLiteral("GPM"), pressure = QStringLiteral("psi");
        GetUnitsName(code, flow, pressure);
        EXPECT_EQ(flow, "GPM");
        EXPECT_EQ(pressure, "psi");
    }
}

TEST(HelpTextsTest, OnlyTheTableControlsHaveHelp) {
    for (const char* name : {"cmbExtention", "cmdExclude", "Label10", "txtRequiredFlow",
                             "optFindFlow", "SSTab1", "Frame1", "lblHelp", ""}) {
        EXPECT_FALSE(HelpTextFor(QString::fromLatin1(name)).has_value()) << name;
    }
    EXPECT_EQ(HelpTextFor(u"Label11"), QStringLiteral("\r\nResults file path and file extention"));
    EXPECT_EQ(HelpTextFor(u"lblOutputFileName"),
              QStringLiteral("\r\nResults file path and file extantion"));
    EXPECT_EQ(HelpTextFor(u"Label1"), QStringLiteral("Goto Corvane Home page!"));
}

TEST(HelpTextsTest, MailLinkCarriesTheBareAddress) {
    const QUrl mail(SupportMailUrl());
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_EQ(mail.path(), QLatin1String(kSupportEmail));
}

// The desktop's message boxes: caption "Hydrosk2", no icon, OK or Yes/No.
TEST(DesktopMessageBoxesTest, CaptionIconAndButtons) {
    const WindowServices services = DesktopServices();
    QString caption;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QList<QMessageBox::StandardButton> buttons;
    QString informative;
    const auto answerWith = [&](QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [&, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            icon = box->icon();
            informative = box->informativeText();
            buttons.clear();
            for (QAbstractButton* button : box->buttons()) {
                buttons << box->standardButton(button);
            }
            box->button(press)->click();
        });
    };

    answerWith(QMessageBox::Ok);
    services.messages->inform(nullptr, QStringLiteral("You must enter a flow interval"),
                              QStringLiteral("detail"));
    EXPECT_EQ(caption, "Hydrosk2");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    EXPECT_EQ(informative, "detail");

    answerWith(QMessageBox::Yes);
    EXPECT_TRUE(services.messages->askYesNo(nullptr, QStringLiteral("Do you want to view?")));
    EXPECT_EQ(caption, "Hydrosk2");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons.contains(QMessageBox::Yes));
    EXPECT_TRUE(buttons.contains(QMessageBox::No));

    answerWith(QMessageBox::No);
    EXPECT_FALSE(services.messages->askYesNo(nullptr, QStringLiteral("Do you want to view?")));
}

TEST(DisplayTextTest, TakesUtf8AndFallsBackToLatin1) {
    EXPECT_EQ(DisplayText("J\xC3\xA9"), QString::fromUtf8("J\xC3\xA9"));
    EXPECT_EQ(DisplayText("J\xE9"), QString::fromLatin1("J\xE9"));
}

}  // namespace
}  // namespace hydrosk::ui::testing
