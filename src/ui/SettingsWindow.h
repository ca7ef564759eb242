#pragma once

#include <QWidget>

class AppState;
class ModelContext;

// Preferences, data management and privacy. Object name "settings".
class SettingsWindow final : public QWidget {
    Q_OBJECT

public:
    SettingsWindow(ModelContext* context, AppState* state, QWidget* parent = nullptr);

private:
    ModelContext* m_context;
    AppState* m_state;
};
