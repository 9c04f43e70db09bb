// The controls of the main window frmMain, each under its design name, at its
// design position and size (pixels at 96 dots per inch), with its caption,
// font and colours. No behaviour: MainWindow connects the controls.
//
// Members are declared parents first, so that children are destroyed before
// the control that holds them.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "ui/widgets.h"

namespace hydrosk::ui {

// Client area of the main window, pixels.
inline constexpr QSize kMainClientSize{642, 595};

struct MainWindowForm {
    explicit MainWindowForm(QWidget* window);
    MainWindowForm(const MainWindowForm&) = delete;
    MainWindowForm& operator=(const MainWindowForm&) = delete;

    // Header band.
    QLabel Label8;      // "Hydrosk 2.12"
    QLabel Label9;      // "by"
    LinkLabel Label1;   // "Corvane"
    LinkLabel Label2;   // "More products at: " + web address
    LinkLabel Label10;  // support e-mail address
    QLabel Image1;      // the fire hydrant

    // File rows.
    QLabel Label3;
    PathLabel lblInpFileName;
    QPushButton cmdInpFile;
    QLabel Label11;
    PathLabel lblOutputFileName;
    QComboBox cmbExtention;
    QPushButton cmdExclude;

    // Tab control and its two pages.
    CompactTabStyle compactTabs;
    QTabWidget SSTab1;
    TabPage steadyPage;
    TabPage extendedPage;
    QLabel lblSteady;
    QGroupBox Frame2;
    WrappingRadioButton optFindDuration;
    QLabel Label12;
    QLineEdit txtRequiredFlow;
    QLabel lblRequiredFlowUnits;
    WrappingRadioButton optFindFlow;
    QLabel Label7;
    QLineEdit txtRequiredTime;
    QLabel Label13;
    QLabel lblLongRun;

    // Common inputs and RUN, lying over the left part of the tab control.
    QGroupBox Frame1;
    QLabel Label4;
    QLineEdit txtMinimalPressure;
    QLabel lblMinimalPressureUnits;
    QLabel Label5;
    QLineEdit txtMaximalFlow;
    QLabel lblMaximalFlowUnits;
    QLabel Label6;
    QLineEdit txtFlowInterval;
    QLabel lblFlowIntervalUnits;
    QPushButton cmdRUN;

    // Bottom.
    QLabel lblHelp;
    QPushButton cmdClose;
    QProgressBar PB;

    QTimer tmrLongRun;
};

// Sets a label's caption and, for a label sized to its text, its size.
void SetAutoSizedText(QLabel& label, const QString& text);

}  // namespace hydrosk::ui
