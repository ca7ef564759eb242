#include "app/AppError.h"
#include "app/AppState.h"
#include "app/Vocabulary.h"
#include "model/AppConstants.h"
#include "model/Folder.h"
#include "model/Tag.h"
#include "platform/Settings.h"
#include "store/ModelContext.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAppState : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void initialValues()
    {
        AppState s;
        QCOMPARE(s.selectedFolder(), nullptr);
        QCOMPARE(s.searchQuery(), QString());
        QCOMPARE(s.sortOrder(), SortOrder::dateAddedDescending);
        QCOMPARE(s.viewMode(), ViewMode::grid);
        QCOMPARE(s.contentTypeFilter(), std::nullopt);
        QVERIFY(s.filterTags().isEmpty());
        QVERIFY(!s.showFavoritesOnly() && !s.showErrorAlert() && !s.isLoading());
        QVERIFY(s.isUnlocked());
        QCOMPARE(s.currentError(), std::nullopt);
    }

    void notifiesOnlyOnRealChange()
    {
        AppState s;
        QSignalSpy query(&s, &AppState::searchQueryChanged);
        s.setSearchQuery(u"rust"_s);
        s.setSearchQuery(u"rust"_s);
        QCOMPARE(query.size(), 1);

        QSignalSpy tags(&s, &AppState::filterTagsChanged);
        Tag a(u"a"_s, QColor(Qt::red));
        s.setFilterTags({&a});
        s.setFilterTags({&a}); // an equal set by value
        QCOMPARE(tags.size(), 1);

        QSignalSpy type(&s, &AppState::contentTypeFilterChanged);
        s.setContentTypeFilter(ItemType::video);
        s.setContentTypeFilter(ItemType::video);
        s.setContentTypeFilter(std::nullopt);
        QCOMPARE(type.size(), 2);

        QSignalSpy sort(&s, &AppState::sortOrderChanged);
        s.setSortOrder(SortOrder::dateAddedDescending);
        QCOMPARE(sort.size(), 0);
    }

    void showErrorRecordsAndRaisesTheAlert()
    {
        AppState s;
        QSignalSpy alert(&s, &AppState::showErrorAlertChanged);
        s.showError(AppError::importError(u"bad file"_s));
        QCOMPARE(s.currentError()->description(), u"Import Error: bad file"_s);
        QVERIFY(s.showErrorAlert());
        QCOMPARE(alert.size(), 1);
    }

    void deletedRecordsLeaveTheState()
    {
        TestSupport::TempContainer container;
        auto ctx = container.open();
        AppState s;
        s.observe(ctx.get());
        Folder* folder = ctx->insert(std::make_unique<Folder>(u"f"_s, u"folder"_s, QColor(Qt::red)));
        Tag* tag = ctx->insert(std::make_unique<Tag>(u"t"_s, QColor(Qt::red)));
        s.setSelectedFolder(folder);
        s.setFilterTags({tag});
        ctx->remove(folder);
        ctx->remove(tag);
        QCOMPARE(s.selectedFolder(), nullptr);
        QVERIFY(s.filterTags().isEmpty());
    }

    void errorTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("suggestion");
        QTest::addColumn<QString>("identifier");
        QTest::newRow("network") << 0 << u"offline"_s << u"Network Error: offline"_s
                                 << u"Check your internet connection and try again."_s << u"network_offline"_s;
        QTest::newRow("network with empty message")
            << 0 << QString() << u"Network Error: "_s << u"Check your internet connection and try again."_s
            << u"network_"_s;
        QTest::newRow("storage") << 1 << u"m"_s << u"Storage Error: m"_s << u"Check available storage space."_s
                                 << u"storage_m"_s;
        QTest::newRow("encryption") << 2 << u"m"_s << u"Encryption Error: m"_s << u"Try restarting the app."_s
                                    << u"encryption_m"_s;
        QTest::newRow("import") << 3 << u"m"_s << u"Import Error: m"_s << u"Ensure the file format is correct."_s
                                << u"import_m"_s;
        QTest::newRow("export") << 4 << u"m"_s << u"Export Error: m"_s
                                << u"Choose a different location with write permissions."_s << u"export_m"_s;
        QTest::newRow("unknown") << 5 << u"m"_s << u"Error: m"_s << u"Try again or contact support."_s
                                 << u"unknown_m"_s;
        QTest::newRow("invalid URL") << 6 << QString() << u"Invalid URL provided"_s << u"Check the URL format."_s
                                     << u"invalid_url"_s;
        QTest::newRow("metadata") << 7 << QString() << u"Failed to fetch page metadata"_s
                                  << u"The item was saved but metadata could not be fetched."_s << u"metadata_failed"_s;
    }
    void errorTexts()
    {
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(QString, description);
        QFETCH(QString, suggestion);
        QFETCH(QString, identifier);
        const std::function<AppError()> makers[] = {[&] { return AppError::networkError(message); },
                                                    [&] { return AppError::storageError(message); },
                                                    [&] { return AppError::encryptionError(message); },
                                                    [&] { return AppError::importError(message); },
                                                    [&] { return AppError::exportError(message); },
                                                    [&] { return AppError::unknown(message); },
                                                    [] { return AppError::invalidURL(); },
                                                    [] { return AppError::metadataFetchFailed(); }};
        const AppError error = makers[kind]();
        QCOMPARE(error.description(), description);
        QCOMPARE(error.recoverySuggestion(), suggestion);
        QCOMPARE(error.identifier(), identifier);
    }

    void vocabularies()
    {
        QStringList raws, names;
        for (SortOrder o : SortOrders::allCases()) {
            raws.append(SortOrders::rawValue(o));
            names.append(SortOrders::displayName(o));
        }
        QCOMPARE(raws.join(u','), u"date_added_desc,date_added_asc,title_asc,title_desc,date_modified_desc"_s);
        QCOMPARE(names.join(u','), u"Newest First,Oldest First,Title A-Z,Title Z-A,Recently Modified"_s);
        QCOMPARE(SortOrders::fromRawValue(u"newest"), std::nullopt);
        QCOMPARE(ViewModes::fromRawValue(u"list"), std::optional<ViewMode>(ViewMode::list));
        QCOMPARE(ViewModes::fromRawValue(u"table"), std::nullopt);
        QCOMPARE(SettingsKeys::rawValue(SettingsKey::confirmBeforeDelete), u"confirmBeforeDelete"_s);
        QCOMPARE(SettingsKeys::rawValue(SettingsKey::iCloudSyncEnabled), u"iCloudSyncEnabled"_s);
    }

    void constants()
    {
        QCOMPARE(AppConstants::appVersion(), QStringLiteral(FOLIONEST_VERSION));
        QCOMPARE(AppConstants::userAgent(),
                 u"Folionest/"_s + AppConstants::appVersion() + u" (Privacy-First Reference Library)"_s);
        const QList<QColor>& palette = AppConstants::colorPalette();
        QCOMPARE(palette.size(), 12);
        QCOMPARE(palette.first(), QColor(0x00, 0x7A, 0xFF));
        QCOMPARE(palette[5], QColor(0xFF, 0x95, 0x00));
        QCOMPARE(palette[7], QColor(0x34, 0xC7, 0x59));
        QCOMPARE(palette[4], QColor(0xFF, 0x3B, 0x30));
    }

    void settingsRoundTrip()
    {
        QCOMPARE(Settings::boolValue(SettingsKey::confirmBeforeDelete, true), true);
        Settings::setValue(SettingsKey::confirmBeforeDelete, false);
        QCOMPARE(Settings::boolValue(SettingsKey::confirmBeforeDelete, true), false);
        Settings::remove(SettingsKey::confirmBeforeDelete);
    }
};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_appstate.moc"
