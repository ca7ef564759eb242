#pragma once

#include <QWidget>

class AppState;
class DataActions;
class ModelContext;
class PrivacyPage;
class QComboBox;
class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class SecurityService;

// Preferences, data management and privacy. Object name "settings".
//
// A stack of pages: the settings themselves, and the pages their navigation
// entries lead to ("Privacy & Security", "Manage Tags") with a back button.
// Preferences are written the moment they change; the library counts and
// the encryption state follow the library and the preferences live.
class SettingsWindow final : public QWidget {
    Q_OBJECT

public:
    // Uses the process's security service unless one is given.
    SettingsWindow(ModelContext* context, AppState* state, QWidget* parent = nullptr,
                   SecurityService* security = nullptr);

    DataActions* dataActions() const { return m_actions; }
    PrivacyPage* privacyPage() const { return m_privacy; }

    void showPrivacyPage();
    void showTagManagement();
    void showSettingsPage();

private:
    QWidget* buildSettingsPage();
    void showPage(QWidget* page, const QString& title);
    void refreshCounts();
    void refreshEncryption();

    ModelContext* m_context;
    AppState* m_state;
    SecurityService& m_security;
    DataActions* m_actions;
    QStackedWidget* m_pages;
    QWidget* m_navigation;
    QToolButton* m_back;
    QLabel* m_pageTitle;
    QWidget* m_settingsPage;
    PrivacyPage* m_privacy;
    QWidget* m_tags;
    QLabel* m_items;
    QLabel* m_folders;
    QLabel* m_tagCount;
    QLabel* m_encryption;
};
