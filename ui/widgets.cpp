#include "ui/widgets.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTextOption>
#include <algorithm>

// Q_INIT_RESOURCE works only outside namespaces.
static void RegisterHydroskResources() {
    Q_INIT_RESOURCE(hydrosk);
}

namespace hydrosk::ui {
namespace {
const char kDesignGeometry[] = "hydroskDesignGeometry";
}

void EnsureResources() {
    static const bool registered = (RegisterHydroskResources(), true);
    (void)registered;
}

QFont DesignBaseFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

BusyPointer::BusyPointer() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
BusyPointer::~BusyPointer() {
    QApplication::restoreOverrideCursor();
}

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {}

void PathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(QRectF(contentsRect().adjusted(2, 1, -2, -1)), text(), option);
}

WrappingRadioButton::WrappingRadioButton(QWidget* parent) : QRadioButton(parent) {}

QRect WrappingRadioButton::textRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect indicator = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
    const int spacing = style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, this);
    return rect().adjusted(indicator.right() + 1 + spacing, 0, 0, 0);
}

void WrappingRadioButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, indicator);

    const QRect area = textRect();
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
    painter.drawItemText(area, flags, palette(), isEnabled(), text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = fontMetrics().boundingRect(area, flags, text()).adjusted(-1, 0, 1, 0);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrappingRadioButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

int CompactTabStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                 const QWidget* widget) const {
    if (metric == PM_TabBarTabVSpace) {
        // A tab row of about 21 pixels, whatever the font's line height.
        constexpr int kTabRowHeight = 21;
        const int line = widget != nullptr ? widget->fontMetrics().height() : 13;
        return std::clamp(kTabRowHeight - line, 2, 12);
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

TabPage::TabPage(QWidget* tabControl) : QWidget(tabControl), tabControl_(tabControl) {}

void TabPage::place(QWidget* control, const QRect& designGeometry) {
    control->setParent(this);
    control->setProperty(kDesignGeometry, designGeometry);
    control->setGeometry(designGeometry);
    reposition();
}

void TabPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    reposition();
}

void TabPage::reposition() {
    if (!tabControl_->isAncestorOf(this)) return;
    const QPoint offset = mapTo(tabControl_, QPoint(0, 0));
    for (QObject* child : children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control == nullptr) continue;
        const QVariant design = control->property(kDesignGeometry);
        if (design.isValid()) control->move(design.toRect().topLeft() - offset);
    }
}

}  // namespace hydrosk::ui
