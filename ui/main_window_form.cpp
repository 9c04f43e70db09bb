#include "ui/main_window_form.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QTabBar>

#include "files/number_text.h"
#include "ui/help_texts.h"

namespace hydrosk::ui {
namespace {

// Font sizes of the design, points.
constexpr double kSmall = 8.25;
constexpr double kMedium = 9.75;
constexpr double kLarge = 12;
constexpr double kTitle = 24;

enum class Weight { Regular, Bold };

QFont DesignFont(const QWidget& window, double points, Weight weight, bool underline = false) {
    QFont font = window.font();
    font.setPointSizeF(points);
    font.setBold(weight == Weight::Bold);
    font.setUnderline(underline);
    return font;
}

void Put(QWidget& control, QWidget& parent, const char* name, const QRect& geometry) {
    control.setParent(&parent);
    control.setObjectName(QLatin1String(name));
    control.setGeometry(geometry);
}

// A design default of an input box in the user's number format (1,5 under a comma-decimal
// format), the format in which a run reads the box.
QString DefaultNumber(double value) {
    return QString::fromStdString(files::FormatUserNumber(value));
}

// A label at a position that takes the size of its caption.
void PutAutoSized(QLabel& label, QWidget& parent, const char* name, QPoint position,
                  const QString& caption, const QFont& font) {
    Put(label, parent, name, QRect(position, QSize(1, 1)));
    label.setFont(font);
    SetAutoSizedText(label, caption);
}

void SetColour(QWidget& control, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = control.palette();
    palette.setColor(role, colour);
    control.setPalette(palette);
}

// A fixed-size label with a single (one-pixel, text-coloured) border, wrapping
// its text from the top left.
void MakeBox(QLabel& label, const QColor& background) {
    label.setFrameStyle(QFrame::Box | QFrame::Plain);
    label.setLineWidth(1);
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label.setWordWrap(true);
    label.setAutoFillBackground(true);
    SetColour(label, QPalette::Window, background);
}

// The fire hydrant, stretched to the picture box as the design asks.
QPixmap StretchedPicture(const QString& resource, QSize size, qreal pixelRatio) {
    QPixmap pixmap(size * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

}  // namespace

void SetAutoSizedText(QLabel& label, const QString& text) {
    label.setText(text);
    label.adjustSize();
}

MainWindowForm::MainWindowForm(QWidget* window) : steadyPage(&SSTab1), extendedPage(&SSTab1) {
    EnsureResources();
    window->setFont(DesignBaseFont());
    QWidget& w = *window;
    const QColor red(255, 0, 0), magenta(255, 0, 255), blue(0, 0, 255);

    PutAutoSized(Label8, w, "Label8", {32, 16}, QStringLiteral("Hydrosk 2.12"),
                 DesignFont(w, kTitle, Weight::Bold));
    SetColour(Label8, QPalette::WindowText, red);

    PutAutoSized(Label9, w, "Label9", {280, 24}, QStringLiteral("by"),
                 DesignFont(w, kLarge, Weight::Bold));

    PutAutoSized(Label1, w, "Label1", {344, 8}, QStringLiteral("Corvane"),
                 DesignFont(w, kTitle, Weight::Bold));
    SetColour(Label1, QPalette::WindowText, magenta);

    PutAutoSized(Label2, w, "Label2", {312, 48},
                 QStringLiteral("More products at: ") + QLatin1String(kMakerWebAddress),
                 DesignFont(w, kSmall, Weight::Bold, true));
    SetColour(Label2, QPalette::WindowText, blue);

    PutAutoSized(Label10, w, "Label10", {360, 72}, QLatin1String(kSupportEmail),
                 DesignFont(w, kSmall, Weight::Bold, true));
    SetColour(Label10, QPalette::WindowText, blue);

    Put(Image1, w, "Image1", {528, 8, 101, 176});
    Image1.setPixmap(StretchedPicture(QStringLiteral(":/hydrosk/hydrant.svg"), Image1.size(),
                                      w.devicePixelRatioF()));

    Put(Label3, w, "Label3", {8, 96, 145, 17});
    Label3.setText(QStringLiteral("INP file name:"));
    Label3.setFont(DesignFont(w, kLarge, Weight::Bold));

    Put(lblInpFileName, w, "lblInpFileName", {176, 88, 273, 33});
    MakeBox(lblInpFileName, Qt::white);

    Put(cmdInpFile, w, "cmdInpFile", {456, 96, 65, 25});
    cmdInpFile.setText(QStringLiteral("File"));
    cmdInpFile.setFont(DesignFont(w, kSmall, Weight::Bold));

    Put(Label11, w, "Label11", {8, 136, 145, 17});
    Label11.setText(QStringLiteral("Output file name:"));
    Label11.setFont(DesignFont(w, kLarge, Weight::Bold));

    Put(lblOutputFileName, w, "lblOutputFileName", {176, 136, 273, 33});
    MakeBox(lblOutputFileName, Qt::white);

    Put(cmbExtention, w, "cmbExtention", {456, 136, 65, 21});
    cmbExtention.setGeometry(QRect(456, 136, 65, cmbExtention.sizeHint().height()));

    Put(cmdExclude, w, "cmdExclude", {8, 176, 265, 33});
    cmdExclude.setText(QStringLiteral("Set junctions pressure constraints"));
    cmdExclude.setFont(DesignFont(w, kMedium, Weight::Regular));

    Put(SSTab1, w, "SSTab1", {8, 224, 619, 209});
    SSTab1.tabBar()->setStyle(&compactTabs);
    steadyPage.setObjectName(QStringLiteral("SSTab1Page0"));
    extendedPage.setObjectName(QStringLiteral("SSTab1Page1"));
    SSTab1.addTab(&steadyPage, QStringLiteral("Steady State"));
    SSTab1.addTab(&extendedPage, QStringLiteral("Extended Period Simulation"));

    lblSteady.setObjectName(QStringLiteral("lblSteady"));
    steadyPage.place(&lblSteady, {272, 32, 337, 161});
    lblSteady.setFont(DesignFont(w, kLarge, Weight::Regular));
    MakeBox(lblSteady, w.palette().color(QPalette::Base));
    SetColour(lblSteady, QPalette::WindowText, w.palette().color(QPalette::Text));

    Frame2.setObjectName(QStringLiteral("Frame2"));
    extendedPage.place(&Frame2, {272, 24, 337, 177});

    Put(optFindDuration, Frame2, "optFindDuration", {8, 16, 321, 49});
    optFindDuration.setText(QStringLiteral(
        "Find the duration that the required flow can be supplied while maintaining the "
        "minimum pressure"));
    optFindDuration.setFont(DesignFont(w, kMedium, Weight::Regular));

    Put(Label12, Frame2, "Label12", {24, 64, 97, 17});
    Label12.setText(QStringLiteral("Required flow:"));
    Label12.setFont(DesignFont(w, kMedium, Weight::Regular));

    Put(txtRequiredFlow, Frame2, "txtRequiredFlow", {128, 64, 49, 19});
    txtRequiredFlow.setText(DefaultNumber(100));

    PutAutoSized(lblRequiredFlowUnits, Frame2, "lblRequiredFlowUnits", {176, 68}, QString(),
                 w.font());

    Put(optFindFlow, Frame2, "optFindFlow", {8, 96, 321, 49});
    optFindFlow.setText(QStringLiteral(
        "Find the flow that can be supplied while maintaining the minimum pressure, for a "
        "required time"));
    optFindFlow.setFont(DesignFont(w, kMedium, Weight::Regular));

    Put(Label7, Frame2, "Label7", {24, 144, 97, 17});
    Label7.setText(QStringLiteral("Required time:"));
    Label7.setFont(DesignFont(w, kMedium, Weight::Regular));

    Put(txtRequiredTime, Frame2, "txtRequiredTime", {128, 144, 49, 19});
    txtRequiredTime.setText(DefaultNumber(1.5));

    PutAutoSized(Label13, Frame2, "Label13", {177, 145}, QStringLiteral("hours"), w.font());

    PutAutoSized(lblLongRun, Frame2, "lblLongRun", {224, 144}, QStringLiteral("LONG RUN"),
                 DesignFont(w, kSmall, Weight::Bold));
    SetColour(lblLongRun, QPalette::WindowText, red);

    // Frame1 and RUN lie over the tab control, so they stay visible on both pages.
    Put(Frame1, w, "Frame1", {16, 248, 257, 129});
    Put(Label4, Frame1, "Label4", {8, 16, 145, 17});
    Label4.setText(QStringLiteral("Minimal pressure:"));
    Put(txtMinimalPressure, Frame1, "txtMinimalPressure", {176, 16, 49, 25});
    txtMinimalPressure.setText(DefaultNumber(110));
    PutAutoSized(lblMinimalPressureUnits, Frame1, "lblMinimalPressureUnits", {224, 24}, QString(),
                 w.font());
    Put(Label5, Frame1, "Label5", {8, 56, 145, 17});
    Label5.setText(QStringLiteral("Maximal flow:"));
    Put(txtMaximalFlow, Frame1, "txtMaximalFlow", {176, 56, 49, 25});
    txtMaximalFlow.setText(DefaultNumber(1000));
    PutAutoSized(lblMaximalFlowUnits, Frame1, "lblMaximalFlowUnits", {224, 64}, QString(),
                 w.font());
    Put(Label6, Frame1, "Label6", {8, 96, 145, 17});
    Label6.setText(QStringLiteral("Flow interval:"));
    Put(txtFlowInterval, Frame1, "txtFlowInterval", {176, 96, 49, 25});
    txtFlowInterval.setText(DefaultNumber(10));
    PutAutoSized(lblFlowIntervalUnits, Frame1, "lblFlowIntervalUnits", {224, 104}, QString(),
                 w.font());
    for (QLabel* caption : {&Label4, &Label5, &Label6}) {
        caption->setFont(DesignFont(w, kLarge, Weight::Bold));
    }

    Put(cmdRUN, w, "cmdRUN", {16, 384, 225, 33});
    cmdRUN.setText(QStringLiteral("RUN"));
    cmdRUN.setFont(DesignFont(w, kLarge, Weight::Bold));

    Put(lblHelp, w, "lblHelp", {8, 448, 625, 97});
    MakeBox(lblHelp, QColor(255, 255, 128));
    SetColour(lblHelp, QPalette::WindowText, w.palette().color(QPalette::WindowText));
    lblHelp.setFont(DesignFont(w, kMedium, Weight::Bold));

    Put(cmdClose, w, "cmdClose", {16, 552, 81, 33});
    cmdClose.setText(QStringLiteral("Close"));

    Put(PB, w, "PB", {112, 552, 521, 33});
    PB.setRange(0, 100);
    PB.setValue(0);
    PB.setTextVisible(false);

    tmrLongRun.setParent(window);
    tmrLongRun.setObjectName(QStringLiteral("tmrLongRun"));

    // Labels, frames, the picture and the progress bar take no focus; the
    // others follow the design's order.
    QWidget* order[] = {&cmdInpFile,         &cmbExtention,    &SSTab1,          &cmdClose,
                        &cmdExclude,         &cmdRUN,          &txtFlowInterval, &txtMaximalFlow,
                        &txtMinimalPressure, &optFindDuration, &txtRequiredFlow, &txtRequiredTime,
                        &optFindFlow};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

}  // namespace hydrosk::ui
