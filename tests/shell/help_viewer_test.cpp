// The help viewer: which HTML Help call each request becomes, and which help files count.
#include "shell/help_viewer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace lindavex::shell {
namespace {

constexpr std::uintptr_t kOwner = 0x2A00017;

struct HelpViewerTest : ::testing::Test {
    std::vector<HtmlHelpCall> calls;
    std::string managerFile;
    std::vector<int> released;
    HelpViewer viewer{[this](const HtmlHelpCall& call) { calls.push_back(call); }, "/opt/lindavex"};

    void SetUp() override {
        viewer.setApplicationHelpFile("RIDAZ.chm");
        viewer.registerWith(HelpManager{[this] { return managerFile; }, [] { return kOwner; },
                                        [this](int id) { released.push_back(id); }},
                            7);
    }

    HtmlHelpCall call(unsigned command, std::string file, std::uintptr_t number = 0,
                      std::optional<std::string> text = std::nullopt) {
        return HtmlHelpCall{kOwner, std::move(file), command, number, std::move(text)};
    }
};

TEST_F(HelpViewerTest, EachRequestBecomesItsHtmlHelpCommand) {
    viewer.displayHelpByContext(3);
    viewer.showTableOfContents();
    viewer.displayTopic("intro");
    viewer.displayTopic("intro.HTML");
    viewer.displayTopic("notas.txt");
    viewer.showHelp("QuenHtmlHelp: materias");
    viewer.showHelp("  aulas ");
    viewer.showHelp("a:b: c ");
    viewer.helpCommand(20, 1);
    viewer.helpCommand(11, 0);
    // The program's folder joined with the platform's separator.
    const std::string file = (std::filesystem::path("/opt/lindavex") / "RIDAZ.chm").string();
    const std::vector<HtmlHelpCall> expected{
        call(HH_HELP_CONTEXT, file, 3),
        call(HH_DISPLAY_TOC, file),
        call(HH_DISPLAY_TOPIC, file + "::/intro.htm"),
        call(HH_DISPLAY_TOPIC, file + "::/intro.HTML"),
        call(HH_DISPLAY_TOPIC, file + "::/notas.txt.htm"),
        call(HH_DISPLAY_INDEX, file, 0, "materias"),
        call(HH_DISPLAY_INDEX, file, 0, "aulas"),
        call(HH_DISPLAY_INDEX, file, 0, "b: c"),
        call(11, file),  // command 20 is never passed on
    };
    EXPECT_EQ(calls, expected);
}

// The help file's path goes to HTML Help as UTF-8 whatever the program's folder is called; in
// the system's code page, "Año" would reach it garbled on Windows.
TEST(HelpViewer, AFolderWithAccentsReachesHtmlHelpAsUtf8) {
    std::vector<HtmlHelpCall> calls;
    HelpViewer viewer{[&calls](const HtmlHelpCall& call) { calls.push_back(call); },
                      std::filesystem::path(u8"/opt/Año escolar")};
    viewer.setApplicationHelpFile("RIDAZ.chm");
    viewer.showTableOfContents();
    const std::string separator(1, static_cast<char>(std::filesystem::path::preferred_separator));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].file, "/opt/A\xC3\xB1o escolar" + separator + "RIDAZ.chm");
}

TEST_F(HelpViewerTest, ShuttingDownClosesAllWithoutWindowOrFile) {
    viewer.softShutDown();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (HtmlHelpCall{0, std::nullopt, HH_CLOSE_ALL, 0, std::nullopt}));
    viewer.shutDown();
    EXPECT_FALSE(viewer.registered());
    EXPECT_TRUE(released.empty()) << "the manager shutting the viewer down releases it itself";
}

TEST_F(HelpViewerTest, TheManagersFileComesFirstAndNamesWithoutAFolderAreBesideTheProgram) {
    EXPECT_EQ(viewer.currentHelpFile(), "/opt/lindavex/RIDAZ.chm");
    managerFile = "/datos/otra.chm";
    EXPECT_EQ(viewer.currentHelpFile(), "/datos/otra.chm");
    managerFile = "otra.chm";
    EXPECT_EQ(viewer.currentHelpFile(), "/opt/lindavex/otra.chm");
}

TEST(HelpFileRules, OnlyANameEndingInChmFromItsLastDotCounts) {
    EXPECT_TRUE(HelpViewer::isCompiledHtmlHelp("ayuda.CHM"));
    EXPECT_TRUE(HelpViewer::isCompiledHtmlHelp("/a/b.txt.chm"));
    EXPECT_FALSE(HelpViewer::isCompiledHtmlHelp("ayuda.hlp"));
    EXPECT_FALSE(HelpViewer::isCompiledHtmlHelp("ayuda"));
    EXPECT_FALSE(HelpViewer::isCompiledHtmlHelp("ayuda.chm.bak"));
    EXPECT_FALSE(HelpViewer::isCompiledHtmlHelp("/datos.chm/ayuda"));
}

TEST_F(HelpViewerTest, RequestsForAnOtherKindOfHelpFileAreIgnored) {
    managerFile = "ayuda.hlp";
    EXPECT_EQ(viewer.understandsContext(3), 0);
    EXPECT_EQ(viewer.understandsKeyword("x"), 0);
    EXPECT_EQ(viewer.understandsTopic("x"), 0);
    EXPECT_FALSE(viewer.canShowTableOfContents());
    viewer.displayHelpByContext(3);
    viewer.showTableOfContents();
    viewer.displayTopic("intro");
    viewer.showHelp("x");
    EXPECT_TRUE(calls.empty());
    managerFile = "ayuda.Chm";
    EXPECT_EQ(viewer.understandsContext(3), 1);
    EXPECT_TRUE(viewer.canShowTableOfContents());
}

TEST(HelpViewerWithoutLibrary, IgnoresEveryRequestSilently) {
    HelpViewer viewer({}, "/opt/lindavex");
    viewer.setApplicationHelpFile("RIDAZ.chm");
    viewer.displayHelpByContext(3);
    viewer.showTableOfContents();
    viewer.displayTopic("intro");
    viewer.showHelp("x");
    viewer.softShutDown();
    viewer.shutDown();
}

TEST_F(HelpViewerTest, ManagerQuestionsAboutKeywordsAndProviders) {
    EXPECT_EQ(viewer.viewerName(), "QuenHtmlHelp");
    EXPECT_EQ(viewer.helpStrings("materias"), std::vector<std::string>{"QuenHtmlHelp: materias"});
    EXPECT_EQ(viewer.selectKeyword({"WinHelp: x", "QuenHtmlHelp: x", "QuenHtmlHelp: y"}), 1);
    EXPECT_EQ(viewer.selectKeyword({"WinHelp: x", "QuenHtmlHelpX: x"}), 0);
    EXPECT_EQ(viewer.tableOfContents({"WinHelp", "Otro", "QuenHtmlHelp"}), 2);
}

TEST(HelpViewerLifetime, ReleasesItsIdentifierWhenDestroyedWhileRegistered) {
    std::vector<int> released;
    {
        HelpViewer viewer([](const HtmlHelpCall&) {}, "/x");
        viewer.registerWith(HelpManager{{}, {}, [&](int id) { released.push_back(id); }}, 4);
    }
    EXPECT_EQ(released, std::vector<int>{4});
}

}  // namespace
}  // namespace lindavex::shell
