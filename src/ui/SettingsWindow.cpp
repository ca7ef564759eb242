#include "SettingsWindow.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

SettingsWindow::SettingsWindow(ModelContext* context, AppState* state, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context), m_state(state)
{
    setObjectName(u"settings"_s);
    setWindowTitle(u"Settings"_s);
    resize(560, 480);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(u"Settings"_s, this));
}
