#pragma once
// The help viewer: turns the application's help requests (context number, topic, keyword,
// table of contents) into calls of the HTML Help function for the help file "RIDAZ.chm".
// The function itself is injected: HHCtrl.ocx's HtmlHelpA on Windows, a CHM viewer elsewhere,
// a recorder in tests.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lindavex::shell {

// HTML Help commands.
enum HtmlHelpCommand : unsigned {
    HH_DISPLAY_TOPIC = 0,
    HH_DISPLAY_TOC = 1,
    HH_DISPLAY_INDEX = 2,
    HH_HELP_CONTEXT = 15,
    HH_CLOSE_ALL = 18,
};

// One call of the HTML Help function: HtmlHelpA(owner, file, command, data). file is absent
// (a null pointer) for HH_CLOSE_ALL; data is a number or a text, as the command needs.
struct HtmlHelpCall {
    std::uintptr_t owner = 0;
    std::optional<std::string> file;
    unsigned command = 0;
    std::uintptr_t number = 0;
    std::optional<std::string> text;

    bool operator==(const HtmlHelpCall&) const = default;
};

using HtmlHelpFunction = std::function<void(const HtmlHelpCall&)>;

// What the viewer asks of the application's help manager.
struct HelpManager {
    std::function<std::string()> helpFile;            // empty text when it has none
    std::function<std::uintptr_t()> ownerWindow;      // passed as owner of every call
    std::function<void(int viewerId)> releaseViewer;  // told at shut down
};

class HelpViewer {
  public:
    static constexpr const char* kViewerName = "QuenHtmlHelp";
    static constexpr const char* kDefaultTopicExtension = ".htm";

    // An empty function means the HTML Help library is missing: every request is ignored.
    HelpViewer(HtmlHelpFunction htmlHelp, std::filesystem::path executableDir);
    ~HelpViewer();
    HelpViewer(const HelpViewer&) = delete;
    HelpViewer& operator=(const HelpViewer&) = delete;

    // Registration with the help manager; viewerId is the identifier it assigned.
    void registerWith(HelpManager manager, int viewerId);
    bool registered() const { return manager_.has_value(); }

    // The application's own help file, used when the manager gives none.
    void setApplicationHelpFile(std::string name) { applicationHelpFile_ = std::move(name); }

    // The file requests go to: the manager's, else the application's, with the executable's
    // folder put before a name without one.
    std::filesystem::path currentHelpFile() const;
    // True when the text from the name's last "." is ".chm", in any letter case.
    static bool isCompiledHtmlHelp(const std::filesystem::path& file);

    std::string viewerName() const { return kViewerName; }
    int understandsKeyword(const std::string& keyword) const;
    int understandsTopic(const std::string& topic) const;
    int understandsContext(int context) const;
    bool canShowTableOfContents() const;
    std::vector<std::string> helpStrings(const std::string& keyword) const;

    void showHelp(const std::string& keyword);  // the index at the keyword
    void showTableOfContents();
    void displayTopic(const std::string& topic);
    void displayHelpByContext(int context);
    // A raw help command; command 20 is never passed on.
    void helpCommand(unsigned command, std::uintptr_t data);

    // Index of the first item whose text before ":" is the viewer name; 0 when none is.
    int selectKeyword(const std::vector<std::string>& items) const;
    // Position of the viewer name among the providers; -1 when it is not there.
    int tableOfContents(const std::vector<std::string>& providers) const;

    void softShutDown();
    // Soft shut down, then the manager releases this viewer and is forgotten.
    void shutDown();

  private:
    bool usable() const;
    void call(unsigned command, std::optional<std::string> file, std::uintptr_t number,
              std::optional<std::string> text, bool withOwner = true);

    HtmlHelpFunction htmlHelp_;
    std::filesystem::path executableDir_;
    std::string applicationHelpFile_;
    std::optional<HelpManager> manager_;
    int viewerId_ = 0;
};

}  // namespace lindavex::shell
