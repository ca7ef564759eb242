#pragma once

#include <QMainWindow>

class AppState;
class ModelContext;
class QLabel;

// The library browser. Object name "main", title "Folionest".
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(ModelContext* context, AppState* state, QWidget* parent = nullptr);

private:
    void refreshSummary();

    ModelContext* m_context;
    AppState* m_state;
    QLabel* m_summary = nullptr;
};
