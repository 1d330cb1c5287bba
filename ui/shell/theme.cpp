#include "ui/shell/theme.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace vividra {

void applyTheme(QApplication& app) {
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette pal;
    const QColor window = QColor::fromRgbF(0.2f, 0.2f, 0.2f);
    pal.setColor(QPalette::Window, window);
    pal.setColor(QPalette::WindowText, Qt::white);
    pal.setColor(QPalette::Base, QColor(42, 42, 42));
    pal.setColor(QPalette::AlternateBase, QColor(58, 58, 58));
    pal.setColor(QPalette::Text, Qt::white);
    pal.setColor(QPalette::Button, QColor(64, 64, 64));
    pal.setColor(QPalette::ButtonText, Qt::white);
    pal.setColor(QPalette::Highlight, QColor(226, 36, 79));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::ToolTipBase, QColor(30, 30, 30));
    pal.setColor(QPalette::ToolTipText, Qt::white);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, Qt::gray);
    pal.setColor(QPalette::Disabled, QPalette::Text, Qt::gray);
    app.setPalette(pal);
    app.setStyleSheet(QStringLiteral(
        "QLabel#caption { color: #b8b8b8; }"
        "QFrame#boxImage { border: 1px solid #3c3c3c; border-radius: 4px; background: #262626; }"
        "QTabWidget::pane { border: none; }"
        "QMenuBar { background: #2a2a2a; color: white; }"
        "QMenuBar::item:selected { background: #444; }"));
}

} // namespace vividra
