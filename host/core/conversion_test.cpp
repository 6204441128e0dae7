#include "test_support.h"

#include "tonebridge/core/conversion.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tonebridge::core {
namespace {

using namespace testing;

constexpr int32_t kCoderOne = 0x2000101;
constexpr int32_t kCoderZero = 0x2000100;
constexpr int32_t kCoderThree = 0x2000103;
constexpr int32_t kCoderFail = 0x2000105;
constexpr int32_t kConnWrap = 0x3000101;
constexpr int32_t kConnNoInput = 0x3000102;
constexpr int32_t kConnFail = 0x3000104;

/// A registry of test plug-ins, an input folder and a list of rows.
class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        registerInOrder(m_registry,
                        {"tp_dec_a", "tp_dec_nosong", "tp_dec_fail", "tp_dec_fail_silent",
                         "tp_dec_remark", "tp_coder_one", "tp_coder_zero", "tp_coder_three",
                         "tp_coder_fail", "tp_conn_wrap", "tp_conn_noinput", "tp_conn_fail",
                         "tp_filter", "tp_filter_remark", "tp_filter_fail", "tp_filter_nosong"});
        m_settings.coderdllid = kCoderOne;
    }

    /// Writes name with content into the input folder and lists it.
    int add(const std::string& name, const std::string& content = "hello") {
        writeFile(m_in / name, content);
        return addFileRow(m_registry, m_rows, m_in / name);
    }

    ConversionResult convert(int row) { return convertRow(m_registry, m_settings, m_rows, row); }

    std::string status(int row) { return m_rows.cellText(row, kColStatus); }

    bool painted(int row, uint32_t text, uint32_t background) {
        return m_rows.row(row).colors->textColor == text &&
               m_rows.row(row).colors->backgroundColor == background;
    }
    bool isError(int row) { return painted(row, kColorRed, kColorYellow); }
    bool isNormal(int row) { return painted(row, kColorBlack, kColorWhite); }

    PluginRegistry m_registry;
    Settings m_settings;
    RowsModel m_rows;
    TempDir m_in;
};

TEST_F(Conversion, ConvertsOneFileBesideItsSource) {
    const int row = add("tune.tst");
    m_rows.setCellText(row, kColStatus, "stale");
    m_rows.setRowTextColor(row, kColorRed);
    const ConversionResult outcome = convert(row);
    EXPECT_TRUE(outcome.converted);
    ASSERT_EQ(outcome.outputs, std::vector<std::string>{m_in / "tune.one"});
    EXPECT_EQ(readFile(m_in / "tune.one"), "A:tune:hello#0");
    EXPECT_EQ(status(row), "");
    EXPECT_TRUE(isNormal(row));
    EXPECT_EQ(m_rows.cellText(row, kColOutSize), "14 - ");
    EXPECT_EQ(m_rows.counterLine(), m_in / "tune.tst");
}

TEST_F(Conversion, DecoderGetsTheBaseNameWhileTheOutputIsCutAtTheFirstPoint) {
    const int row = add("my.tune.tst.wrap");
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(m_in / "my.one"), "A:my.tune:W(hello)#0");
}

TEST_F(Conversion, NotFoundFailuresNameTheMissingStep) {
    struct Case {
        const char* file;
        const char* status;
    };
    const Case cases[] = {
        {"tune.v2.mid", kErrConnectorNotFound}, // "mid" is an outer extension here
        {"readme", kErrInputNotSupported},
        {"tune.xyz", kErrInputNotSupported},
        {"tune.nosong", kErrNoCoder}, // decoder succeeded without a Song
    };
    for (const Case& c : cases) {
        const int good = add("ok.tst");
        ASSERT_TRUE(convert(good).converted);
        const int row = add(c.file);
        const auto before = listFolder(m_in.path());
        const ConversionResult outcome = convert(row);
        EXPECT_FALSE(outcome.converted) << c.file;
        EXPECT_EQ(status(row), c.status) << c.file;
        EXPECT_TRUE(isError(row)) << c.file;
        EXPECT_EQ(listFolder(m_in.path()), before) << c.file;
    }
}

TEST_F(Conversion, MissingCoderOrConnectorIsReported) {
    const int row = add("tune.tst");
    m_settings.coderdllid = 0x2999999;
    convert(row);
    EXPECT_EQ(status(row), kErrNoCoder);

    m_settings.coderdllid = kCoderOne;
    m_settings.lauchconnector = 1;
    m_settings.connectordllid = 0x3999999;
    EXPECT_FALSE(convert(row).converted);
    EXPECT_EQ(status(row), kErrNoConnector);
    EXPECT_TRUE(isError(row));
    // The coder ran: its size is shown even though nothing was written.
    EXPECT_EQ(m_rows.cellText(row, kColOutSize), "14 - ");
    EXPECT_FALSE(fs::exists(m_in / "tune.one"));
}

TEST_F(Conversion, UnreadableInputsAreReported) {
    const int missing = m_rows.insertRow();
    m_rows.setCellText(missing, kColFile, "gone.tst");
    m_rows.setCellText(missing, kColPath, m_in.withSeparator());
    convert(missing);
    EXPECT_EQ(status(missing), kErrCannotOpen);
    EXPECT_TRUE(isError(missing));

    // A folder is not read at all.
    fs::create_directory(m_in.path() / "folder.tst");
    const int folder = m_rows.insertRow();
    m_rows.setCellText(folder, kColFile, "folder.tst");
    m_rows.setCellText(folder, kColPath, m_in.withSeparator());
    EXPECT_FALSE(convert(folder).converted);
    EXPECT_EQ(status(folder), kErrNotRegular);
    EXPECT_TRUE(isError(folder));
}

TEST_F(Conversion, PluginMessagesBecomeTheStatus) {
    const int refused = add("tune.bad");
    EXPECT_FALSE(convert(refused).converted);
    EXPECT_EQ(status(refused), "error : decoder refuses");
    EXPECT_TRUE(isError(refused));

    // A failure without a message leaves the Status empty, still in error colours.
    const int silent = add("tune.mute");
    EXPECT_FALSE(convert(silent).converted);
    EXPECT_EQ(status(silent), "");
    EXPECT_TRUE(isError(silent));

    // A message that comes with success is shown, in normal colours.
    const int remark = add("tune.rmk");
    EXPECT_TRUE(convert(remark).converted);
    EXPECT_EQ(status(remark), "decoded with a remark");
    EXPECT_TRUE(isNormal(remark));

    const int coderFails = add("c.tst");
    m_settings.coderdllid = kCoderFail;
    EXPECT_FALSE(convert(coderFails).converted);
    EXPECT_EQ(status(coderFails), "error : coder refuses");
    EXPECT_EQ(m_rows.cellText(coderFails, kColOutSize), "");

    m_settings.coderdllid = kCoderOne;
    m_settings.lauchconnector = 1;
    m_settings.connectordllid = kConnFail;
    EXPECT_FALSE(convert(coderFails).converted);
    EXPECT_EQ(status(coderFails), "error : connector refuses");
    EXPECT_FALSE(fs::exists(m_in / "c.one"));
}

TEST_F(Conversion, BufferCountDecidesTheNames) {
    const int row = add("tune.tst");
    m_settings.coderdllid = kCoderZero;
    const auto before = listFolder(m_in.path());
    const ConversionResult none = convert(row);
    EXPECT_TRUE(none.converted);
    EXPECT_TRUE(none.outputs.empty());
    EXPECT_EQ(m_rows.cellText(row, kColOutSize), "");
    EXPECT_EQ(listFolder(m_in.path()), before);

    m_settings.coderdllid = kCoderThree;
    const ConversionResult three = convert(row);
    EXPECT_TRUE(three.converted);
    EXPECT_EQ(three.outputs, (std::vector<std::string>{m_in / "tune_0.three", m_in / "tune_1.three",
                                                       m_in / "tune_2.three"}));
    EXPECT_EQ(readFile(m_in / "tune_2.three"), "A:tune:hello#2");
    EXPECT_EQ(m_rows.cellText(row, kColOutSize), "14 - 14 - 14 - ");
}

TEST_F(Conversion, ChosenConnectorAppliesOnlyWhenLaunched) {
    const int row = add("tune.tst");
    m_settings.connectordllid = kConnWrap;
    m_settings.lauchconnector = 0;
    ASSERT_TRUE(convert(row).converted);
    EXPECT_TRUE(fs::exists(m_in / "tune.one"));
    EXPECT_FALSE(fs::exists(m_in / "tune.one.wrap"));

    m_settings.lauchconnector = 1;
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(m_in / "tune.one.wrap"), "W(A:tune:hello#0)");
    // The Size column keeps the coder's sizes, not the connector's.
    EXPECT_EQ(m_rows.cellText(row, kColOutSize), "14 - ");

    // A connector that reads no extension still works after a coder.
    m_settings.connectordllid = kConnNoInput;
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(m_in / "tune.one.cx"), "N(A:tune:hello#0)");
}

TEST_F(Conversion, OuterExtensionIsUnwrappedBeforeDecoding) {
    const int row = add("Tune.TST.Wrap", "x");
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(m_in / "Tune.one"), "A:Tune:W(x)#0");

    const int failing = add("tune.tst.cfail");
    EXPECT_FALSE(convert(failing).converted);
    EXPECT_EQ(status(failing), "error : connector refuses");
}

TEST_F(Conversion, EveryMatchingPluginRunsAndTheLastCounts) {
    TempDir dir;
    for (bool aFirst : {true, false}) {
        PluginRegistry registry;
        if (aFirst) {
            registerInOrder(registry, {"tp_dec_a", "tp_dec_b", "tp_conn_wrap", "tp_conn_wrap2",
                                       "tp_coder_one"});
        } else {
            registerInOrder(registry, {"tp_dec_b", "tp_dec_a", "tp_conn_wrap2", "tp_conn_wrap",
                                       "tp_coder_one"});
        }
        RowsModel rows;
        writeFile(dir / "t.tst.wrap", "x");
        const int row = addFileRow(registry, rows, dir / "t.tst.wrap");
        ASSERT_TRUE(convertRow(registry, m_settings, rows, row).converted);
        EXPECT_EQ(readFile(dir / "t.one"), aFirst ? "B:t:V(x)#0" : "A:t:W(x)#0");
    }
}

TEST_F(Conversion, DestinationFolderWithOrWithoutSeparator) {
    TempDir out;
    const int row = add("tune.tst");
    m_settings.select = 1;
    m_settings.destdir = out.path().string();
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(out / "tune.one"), "A:tune:hello#0");
    fs::remove(out / "tune.one");
    m_settings.destdir = out.withSeparator();
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(listFolder(out.path()), std::vector<std::string>{"tune.one"});
    EXPECT_FALSE(fs::exists(m_in / "tune.one"));
}

TEST_F(Conversion, ExistingOutputIsReplacedWhole) {
    const int row = add("tune.tst");
    writeFile(m_in / "tune.one", std::string(1000, 'o'));
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(m_in / "tune.one"), "A:tune:hello#0");
}

TEST_F(Conversion, OutputThatCannotBeCreatedLeavesNothingBehind) {
    // Missing destination folder.
    const int row = add("tune.tst");
    m_settings.select = 1;
    m_settings.destdir = m_in / "no_such_folder";
    EXPECT_FALSE(convert(row).converted);
    EXPECT_EQ(status(row), kErrCannotCreate);
    EXPECT_TRUE(isError(row));

    // The second of three outputs is blocked by a folder of its name: the first stays, the
    // blocker is untouched, the third is not written and no temporary file remains.
    TempDir out;
    m_settings.destdir = out.path().string();
    m_settings.coderdllid = kCoderThree;
    fs::create_directory(out.path() / "tune_1.three");
    writeFile(out / "tune_1.three/keep", "mine");
    const ConversionResult outcome = convert(row);
    EXPECT_FALSE(outcome.converted);
    EXPECT_EQ(outcome.outputs, std::vector<std::string>{out / "tune_0.three"});
    EXPECT_EQ(status(row), kErrCannotCreate);
    EXPECT_EQ(listFolder(out.path()), (std::vector<std::string>{"tune_0.three", "tune_1.three"}));
    EXPECT_EQ(readFile(out / "tune_1.three/keep"), "mine");
}

TEST_F(Conversion, ARunNeverReplacesWhatItWroteOrReads) {
    // Two sources of one name into one folder: the later row fails, the earlier output stays.
    TempDir other;
    writeFile(other / "tune.tst", "other");
    add("tune.tst");
    addFileRow(m_registry, m_rows, other / "tune.tst");
    TempDir out;
    m_settings.select = 1;
    m_settings.destdir = out.path().string();
    EXPECT_EQ(convertRows(m_registry, m_settings, m_rows), 1);
    EXPECT_TRUE(isNormal(0));
    EXPECT_EQ(status(1), "error : tune.one was already written by an earlier file of this run");
    EXPECT_TRUE(isError(1));
    EXPECT_EQ(readFile(out / "tune.one"), "A:tune:hello#0");
    EXPECT_EQ(readFile(other / "tune.tst"), "other");

    // A later run may replace what an earlier one wrote.
    m_rows.deleteRow(1);
    EXPECT_EQ(convertRows(m_registry, m_settings, m_rows), 1);

    // An output that is an input of the run, here named through "." in the folder, is never
    // written, even when that input's own row fails.
    m_rows.deleteAllRows();
    m_settings.destdir = (m_in.path() / ".").string();
    add("tune.one", "mine");
    add("tune.tst");
    EXPECT_EQ(convertRows(m_registry, m_settings, m_rows), 0);
    EXPECT_EQ(status(1), "error : tune.one would replace an input of this run");
    EXPECT_TRUE(isError(1));
    EXPECT_EQ(readFile(m_in / "tune.one"), "mine");
}

TEST_F(Conversion, AnEmptyDestinationIsRefusedNotTheRootFolder) {
    const int row = add("tune.tst");
    m_settings.select = 1;
    m_settings.destdir.clear();
    EXPECT_FALSE(convert(row).converted);
    EXPECT_EQ(status(row), std::string(kErrNoDestination) + "\"/\"");
    EXPECT_TRUE(isError(row));
    EXPECT_FALSE(fs::exists("/tune.one"));
}

TEST_F(Conversion, AReplacedOutputKeepsItsModeAndAReadOnlyOneStays) {
    const int row = add("tune.tst");
    writeFile(m_in / "tune.one", "old");
    fs::permissions(m_in / "tune.one", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(fs::status(m_in / "tune.one").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    fs::permissions(m_in / "tune.one", fs::perms::owner_read | fs::perms::group_read);
    writeFile(m_in / "tune.tst", "new");
    EXPECT_FALSE(convert(row).converted);
    EXPECT_EQ(status(row), kErrReadOnly);
    EXPECT_TRUE(isError(row));
    EXPECT_EQ(readFile(m_in / "tune.one"), "A:tune:hello#0");
    EXPECT_EQ(listFolder(m_in.path()), (std::vector<std::string>{"tune.one", "tune.tst"}));
}

TEST_F(Conversion, BatchRunConvertsEveryRowAndCountsSuccesses) {
    add("one.tst");
    add("two.xyz");
    add("three.tst");
    m_rows.setSelected(2, true);
    markAllNotConverted(m_rows);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(status(i), kStatusRunStart);
    }
    std::vector<std::size_t> started;
    std::vector<std::size_t> seen;
    BatchCallbacks callbacks;
    callbacks.started = [&](std::size_t index) {
        started.push_back(index);
        return true;
    };
    callbacks.finished = [&](std::size_t index, const ConversionResult& result) {
        EXPECT_EQ(started.size(), index + 1); // each file starts before its result
        EXPECT_EQ(result.converted, index != 1);
        seen.push_back(index);
    };
    const int count = convertRows(m_registry, m_settings, m_rows, callbacks);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(seen, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(m_rows.counterLine(), std::string("2") + kCounterConverted);
    EXPECT_EQ(status(1), kErrInputNotSupported);
    EXPECT_EQ(status(2), "");
    // The selection walked onto the last row.
    EXPECT_EQ(m_rows.firstSelected(), 2);
    EXPECT_FALSE(m_rows.row(0).selected);
    EXPECT_FALSE(m_rows.row(1).selected);
}

TEST_F(Conversion, BatchRunWhereEveryRowFailsOrRowsVanish) {
    add("a.xyz");
    EXPECT_EQ(convertRows(m_registry, m_settings, m_rows), 0);
    EXPECT_EQ(m_rows.counterLine(), std::string("0") + kCounterConverted);

    add("b.tst");
    add("c.tst");
    // Rows deleted while the run walks the list are passed over.
    BatchCallbacks callbacks;
    callbacks.finished = [&](std::size_t index, const ConversionResult&) {
        if (index == 0) {
            m_rows.deleteRow(2);
            m_rows.deleteRow(1);
        }
    };
    EXPECT_EQ(convertRows(m_registry, m_settings, m_rows, callbacks), 0);
    EXPECT_EQ(m_rows.rowCount(), 1);
}

TEST_F(Conversion, BatchRunEndsBeforeTheNextFileOnceStopped) {
    writeFile(m_in / "a.tst", "a");
    writeFile(m_in / "b.tst", "b");
    std::atomic<bool> stop{false};
    std::vector<std::size_t> seen;
    BatchCallbacks callbacks;
    callbacks.stop = &stop;
    callbacks.finished = [&](std::size_t index, const ConversionResult&) {
        seen.push_back(index);
        stop.store(true);
    };
    EXPECT_EQ(runBatch(m_registry, m_settings, {m_in / "a.tst", m_in / "b.tst"}, callbacks), 1);
    EXPECT_EQ(seen, std::vector<std::size_t>{0});
    EXPECT_TRUE(fs::exists(m_in / "a.one"));
    EXPECT_FALSE(fs::exists(m_in / "b.one"));

    // A file its caller passes over is neither converted nor reported.
    callbacks.stop = nullptr;
    callbacks.started = [](std::size_t index) { return index != 0; };
    seen.clear();
    EXPECT_EQ(runBatch(m_registry, m_settings, {m_in / "a.tst", m_in / "b.tst"}, callbacks), 1);
    EXPECT_EQ(seen, std::vector<std::size_t>{1});
}

TEST_F(Conversion, AChosenFilterArrangesTheSongForItsTarget) {
    const int row = add("tune.tst");
    m_settings.lauchfilter = 1;
    m_settings.filterdllid = 0x4000001;
    m_settings.filteroptions = "track=2";
    ASSERT_TRUE(convert(row).converted);
    // The coder wrote the filter's Song, arranged for the chosen coder with the options.
    EXPECT_EQ(readFile(m_in / "tune.one"), "F:(2000101,track=2)A:tune:hello:#0");
    EXPECT_EQ(status(row), "");
    EXPECT_TRUE(isNormal(row));

    // Another target can be named; the output format stays the chosen coder's.
    m_settings.filtertarget = 0x2000006;
    m_settings.filteroptions.clear();
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(m_in / "tune.one"), "F:(2000006,)A:tune:hello:#0");

    // Switched off, the filter id is kept but not used.
    m_settings.lauchfilter = 0;
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(readFile(m_in / "tune.one"), "A:tune:hello#0");
}

TEST_F(Conversion, FilterOutcomesShowInTheRow) {
    const int row = add("tune.tst");
    m_settings.lauchfilter = 1;

    // What the filter changed is the Status of a converted, unpainted row.
    m_settings.filterdllid = 0x4000102;
    ASSERT_TRUE(convert(row).converted);
    EXPECT_EQ(status(row), "fitted: 2 voices dropped");
    EXPECT_TRUE(isNormal(row));
    fs::remove(m_in / "tune.one");

    struct Case {
        int32_t filter;
        const char* status;
    };
    const Case cases[] = {{0x4000103, "error : filter refuses"},
                          {0x4000104, kErrNoData},    // success without a Song
                          {0x4999999, kErrNoFilter}}; // not loaded
    for (const Case& c : cases) {
        m_settings.filterdllid = c.filter;
        EXPECT_FALSE(convert(row).converted) << c.filter;
        EXPECT_EQ(status(row), c.status) << c.filter;
        EXPECT_TRUE(isError(row)) << c.filter;
        EXPECT_FALSE(fs::exists(m_in / "tune.one")) << c.filter;
    }
}

TEST_F(Conversion, DetectFileLabelsTypesAndSizes) {
    struct Case {
        const char* file;
        const char* type;
    };
    const Case cases[] = {{"a.tst", "tst"},
                          {"a.TST.wrap", "tst.wrap"},
                          {"a.xyz", "unknow"},
                          {"a.xyz.wrap", "unknow.wrap"},
                          {"a.tst.zzz", "tst.unknow"},
                          {"readme", "unknow"}};
    for (const Case& c : cases) {
        writeFile(m_in / c.file, "12345");
        const FileInfo info = detectFile(m_registry, m_in / c.file);
        EXPECT_EQ(info.type, c.type) << c.file;
        EXPECT_EQ(info.size, "5") << c.file;
        EXPECT_EQ(info.status, kStatusAdded) << c.file;
    }
    PluginRegistry empty;
    EXPECT_EQ(detectFile(empty, m_in / "a.tst.zzz").type, "unknow.unknow");

    const FileInfo missing = detectFile(m_registry, m_in / "missing.tst");
    EXPECT_EQ(missing.status, kStatusCannotOpen);
    EXPECT_EQ(missing.size, "");
    EXPECT_EQ(missing.type, "tst");

    // A FIFO is not opened (that would wait for a writer), nor is a device read.
    ASSERT_EQ(mkfifo((m_in / "pipe.tst").c_str(), 0644), 0);
    for (const std::string& path : {m_in / "pipe.tst", std::string("/dev/zero")}) {
        const FileInfo special = detectFile(m_registry, path);
        EXPECT_EQ(special.status, kStatusCannotOpen) << path;
        EXPECT_EQ(special.size, "") << path;
    }
}

TEST_F(Conversion, AddFilesFillsEveryCellAndTheCounter) {
    writeFile(m_in / "a.tst", std::string(1234, 'x'));
    addFiles(m_registry, m_rows, {m_in / "a.tst", m_in / "a.tst"});
    ASSERT_EQ(m_rows.rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(m_rows.cellText(row, kColFile), "a.tst");
        EXPECT_EQ(m_rows.cellText(row, kColSize), "1234");
        EXPECT_EQ(m_rows.cellText(row, kColType), "tst");
        EXPECT_EQ(m_rows.cellText(row, kColStatus), kStatusAdded);
        EXPECT_EQ(m_rows.cellText(row, kColOutSize), "");
        EXPECT_EQ(m_rows.cellText(row, kColPath), m_in.withSeparator());
    }
    EXPECT_EQ(m_rows.counterLine(), std::string("2") + kCounterInList);
}

} // namespace
} // namespace tonebridge::core
