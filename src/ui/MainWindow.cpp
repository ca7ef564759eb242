#include "MainWindow.h"

#include "app/AppState.h"
#include "store/ModelContext.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(ModelContext* context, AppState* state, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_state(state)
{
    setObjectName(u"main"_s);
    setWindowTitle(u"Folionest"_s);
    resize(1200, 800);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_summary = new QLabel(central);
    m_summary->setObjectName(u"summary"_s);
    m_summary->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_summary);
    setCentralWidget(central);

    connect(m_context, &ModelContext::changed, this, &MainWindow::refreshSummary);
    refreshSummary();
}

void MainWindow::refreshSummary()
{
    m_summary->setText(u"%1 items · %2 folders · %3 tags"_s.arg(m_context->items().size())
                           .arg(m_context->folders().size())
                           .arg(m_context->tags().size()));
}
