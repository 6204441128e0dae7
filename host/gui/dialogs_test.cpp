// The Options dialog, the versions report and the About box.
#include "gui_test_support.h"

#include "about_box.h"
#include "gui_texts.h"
#include "options_dlg.h"
#include "versions_dlg.h"

#include "tonebridge/plugin_api.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace tonebridge::gui {
namespace {

constexpr int32_t kMidiWriterId = 0x2000006;
constexpr int32_t kBinaryToTextId = 0x3000001;

/// Index of the plug-in with an identifier in a kind's list, or -1.
int indexOfId(const std::vector<core::Plugin>& list, int32_t id) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].id() == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int selectedRow(const QListWidget* list) {
    const auto rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

TEST(OptionsDlgTest, FirstRunShowsSameAsSourceFirstFormatAndNone) {
    TB_REQUIRE_PLUGINS("midi_writer");
    core::Settings settings;
    COptionsDlg dlg(settings, test::stagedPlugins());
    EXPECT_EQ(dlg.windowTitle(), "Options");
    EXPECT_TRUE(dlg.sameAsSourceButton()->isChecked());
    EXPECT_FALSE(dlg.selectPathButton()->isChecked());
    EXPECT_FALSE(dlg.pathText()->isEnabled());
    EXPECT_FALSE(dlg.browseButton()->isEnabled());
    EXPECT_EQ(dlg.pathText()->text(), "");
    ASSERT_EQ(dlg.formatsList()->count(), static_cast<int>(test::stagedPlugins().coders().size()));
    EXPECT_EQ(selectedRow(dlg.formatsList()), 0);
    EXPECT_EQ(dlg.connectorsList()->item(0)->text(), "None");
    EXPECT_EQ(selectedRow(dlg.connectorsList()), 0);

    const int midi = indexOfId(test::stagedPlugins().coders(), kMidiWriterId);
    ASSERT_GE(midi, 0);
    EXPECT_EQ(dlg.formatsList()->item(midi)->text(), "Midi");
    // Each row carries its plug-in's identifier.
    EXPECT_EQ(dlg.formatsList()->item(midi)->data(Qt::UserRole).toInt(), kMidiWriterId);

    // OK without another choice stores row 0's coder and no connector.
    settings.connectordllid = 77;
    dlg.accept();
    EXPECT_EQ(settings.select, 0);
    EXPECT_EQ(settings.coderdllid, test::stagedPlugins().coders()[0].id());
    EXPECT_EQ(settings.connectordllid, 0);
    EXPECT_EQ(settings.lauchconnector, 0);
}

TEST(OptionsDlgTest, FiltersListOffersNoneFirstAndStoresTheChoice) {
    core::Settings settings;
    settings.filterdllid = 0x4000001;
    settings.lauchfilter = 1;
    const auto& registry = test::stagedPlugins();
    COptionsDlg dlg(settings, registry);
    ASSERT_EQ(dlg.filtersList()->count(), 1 + static_cast<int>(registry.filters().size()));
    EXPECT_EQ(dlg.filtersList()->item(0)->text(), "None");
    // A stored filter that is not loaded leaves "None" chosen; OK then turns it off.
    if (registry.filterById(0x4000001) == nullptr) {
        EXPECT_EQ(selectedRow(dlg.filtersList()), 0);
    }
    dlg.filtersList()->setCurrentRow(0);
    dlg.accept();
    EXPECT_EQ(settings.filterdllid, 0);
    EXPECT_EQ(settings.lauchfilter, 0);
}

TEST(OptionsDlgTest, ShowsTheStoredChoicesAndStoresNewOnesOnOk) {
    TB_REQUIRE_PLUGINS("midi_writer", "binary_to_text");
    const auto& registry = test::stagedPlugins();
    core::Settings settings;
    settings.select = 1;
    settings.destdir = "/music/out";
    settings.coderdllid = kMidiWriterId;
    settings.connectordllid = kBinaryToTextId;
    settings.lauchconnector = 1;
    COptionsDlg dlg(settings, registry);
    EXPECT_TRUE(dlg.selectPathButton()->isChecked());
    EXPECT_FALSE(dlg.sameAsSourceButton()->isChecked());
    EXPECT_TRUE(dlg.pathText()->isEnabled());
    EXPECT_TRUE(dlg.browseButton()->isEnabled());
    EXPECT_EQ(dlg.pathText()->text(), "/music/out");
    EXPECT_EQ(selectedRow(dlg.formatsList()), indexOfId(registry.coders(), kMidiWriterId));
    EXPECT_EQ(selectedRow(dlg.connectorsList()),
              indexOfId(registry.connectors(), kBinaryToTextId) + 1);

    // "Same as source" disables the path but keeps it; OK still stores it. "None" clears the
    // connector.
    dlg.sameAsSourceButton()->click();
    EXPECT_FALSE(dlg.pathText()->isEnabled());
    EXPECT_FALSE(dlg.browseButton()->isEnabled());
    EXPECT_EQ(dlg.pathText()->text(), "/music/out");
    dlg.connectorsList()->setCurrentRow(0);
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(settings.select, 0);
    EXPECT_EQ(settings.destdir, "/music/out");
    EXPECT_EQ(settings.coderdllid, kMidiWriterId);
    EXPECT_EQ(settings.connectordllid, 0);
    EXPECT_EQ(settings.lauchconnector, 0);

    // Choosing a connector turns it on.
    COptionsDlg again(settings, registry);
    EXPECT_EQ(selectedRow(again.connectorsList()), 0);
    again.connectorsList()->setCurrentRow(indexOfId(registry.connectors(), kBinaryToTextId) + 1);
    again.accept();
    EXPECT_EQ(settings.connectordllid, kBinaryToTextId);
    EXPECT_EQ(settings.lauchconnector, 1);
}

TEST(OptionsDlgTest, ConnectorIsOnlyPreselectedWhenItIsApplied) {
    TB_REQUIRE_PLUGINS("binary_to_text");
    core::Settings settings;
    settings.connectordllid = kBinaryToTextId;
    settings.lauchconnector = 0;
    COptionsDlg dlg(settings, test::stagedPlugins());
    EXPECT_EQ(selectedRow(dlg.connectorsList()), 0);

    settings.lauchconnector = 1;
    settings.connectordllid = 0x3999999; // no such connector
    COptionsDlg stale(settings, test::stagedPlugins());
    EXPECT_EQ(selectedRow(stale.connectorsList()), 0);
}

TEST(OptionsDlgTest, BrowseFillsThePathAndCancelForgetsIt) {
    core::Settings settings;
    settings.select = 1;
    settings.destdir = "/before";
    COptionsDlg dlg(settings, test::noPlugins());
    dlg.setFolderChooser([](QWidget*) { return QStringLiteral("/chosen/folder"); });
    dlg.browse();
    EXPECT_EQ(dlg.pathText()->text(), "/chosen/folder");
    dlg.reject();
    EXPECT_EQ(settings.destdir, "/before");

    // A cancelled browser changes nothing; OK with no plug-ins keeps the stored identifiers.
    settings.coderdllid = 0x2000002;
    COptionsDlg second(settings, test::noPlugins());
    second.setFolderChooser([](QWidget*) { return QString(); });
    second.browse();
    EXPECT_EQ(second.pathText()->text(), "/before");
    EXPECT_EQ(second.formatsList()->count(), 0);
    second.formatsList()->clearSelection();
    second.accept();
    EXPECT_EQ(settings.coderdllid, 0x2000002);
    EXPECT_EQ(settings.select, 1);
}

TEST(OptionsDlgTest, NoFormatSelectedKeepsTheStoredCoder) {
    TB_REQUIRE_PLUGINS("midi_writer");
    core::Settings settings;
    settings.coderdllid = 0x2000002;
    COptionsDlg dlg(settings, test::stagedPlugins());
    dlg.formatsList()->clearSelection();
    dlg.connectorsList()->clearSelection();
    settings.connectordllid = 5;
    settings.lauchconnector = 1;
    dlg.accept();
    EXPECT_EQ(settings.coderdllid, 0x2000002);
    EXPECT_EQ(settings.connectordllid, 5);
    EXPECT_EQ(settings.lauchconnector, 1);
}

TEST(VersionsReportTest, EmptyWithoutPlugins) {
    EXPECT_TRUE(versionsReportLines(test::noPlugins()).isEmpty());
    CVersionsDlg dlg(test::noPlugins());
    EXPECT_EQ(dlg.windowTitle(), "DLL Versions");
    EXPECT_EQ(dlg.reportList()->count(), 0);
}

TEST(VersionsReportTest, SectionsInKindOrderWithFourLinesPerLibrary) {
    TB_REQUIRE_PLUGINS("midi_reader", "midi_writer");
    const auto& registry = test::stagedPlugins();
    const QStringList lines = versionsReportLines(registry);
    const QString rule(80, u'*');

    // The coders come first; the MIDI writer's four lines are as it reports itself.
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], rule);
    EXPECT_EQ(lines[1], "CODER");
    EXPECT_EQ(lines[2], rule);
    const qsizetype writer = lines.indexOf("Coder Midi :");
    ASSERT_GE(writer, 0);
    EXPECT_EQ(lines[writer + 1], "          Version :1.00");
    EXPECT_EQ(lines[writer + 2], "          Date :20/06/2002");
    EXPECT_EQ(lines[writer + 3], "");

    // Sections appear once each, in the fixed order, only for kinds that are present.
    const std::vector<std::pair<QString, std::size_t>> kinds = {
        {"CODER", registry.coders().size()},
        {"DECODER", registry.decoders().size()},
        {"CONNECTOR", registry.connectors().size()},
        {"FILTER", registry.filters().size()},
        {"OTHER", registry.others().size()}};
    qsizetype previous = -1;
    qsizetype expectedLines = 0;
    for (const auto& [word, count] : kinds) {
        const qsizetype at = lines.indexOf(word);
        if (count == 0) {
            EXPECT_EQ(at, -1) << word.toStdString();
            continue;
        }
        ASSERT_GT(at, previous) << word.toStdString();
        EXPECT_EQ(lines[at - 1], rule);
        EXPECT_EQ(lines[at + 1], rule);
        previous = at;
        expectedLines +=
            3 + 4 * static_cast<qsizetype>(count); // every shipped library has all three
    }
    EXPECT_EQ(lines.size(), expectedLines);

    CVersionsDlg dlg(registry);
    ASSERT_EQ(dlg.reportList()->count(), lines.size());
    EXPECT_EQ(dlg.reportList()->item(1)->text(), "CODER");
    const auto labels = dlg.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text() == "The Version of each DLLs contained in the \"plugins\" directory :";
    }));
}

TEST(AboutBoxTest, ShowsNameAndVersionCentred) {
    CAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.versionLabel()->text(), "Chimewright - V4.10");
    EXPECT_TRUE(box.versionLabel()->alignment() & Qt::AlignHCenter);
    const auto buttons = box.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "OK");
    buttons[0]->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

} // namespace
} // namespace tonebridge::gui
