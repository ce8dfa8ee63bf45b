#include "shell/help_viewer.h"

#include <algorithm>

#include "store/codepage.h"
#include "store/error.h"

namespace lindavex::shell {
namespace fs = std::filesystem;

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return text;
}

// The text from the last "." of the name's final component, or empty when it has none.
std::string extensionOf(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    const std::size_t separator = name.find_last_of("/\\");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return {};
    return name.substr(dot);
}

}  // namespace

HelpViewer::HelpViewer(HtmlHelpFunction htmlHelp, fs::path executableDir)
    : htmlHelp_(std::move(htmlHelp)), executableDir_(std::move(executableDir)) {}

HelpViewer::~HelpViewer() {
    if (manager_) {
        if (manager_->releaseViewer) manager_->releaseViewer(viewerId_);
        manager_.reset();
    }
    htmlHelp_ = nullptr;
}

void HelpViewer::registerWith(HelpManager manager, int viewerId) {
    manager_ = std::move(manager);
    viewerId_ = viewerId;
}

fs::path HelpViewer::currentHelpFile() const {
    std::string name;
    if (manager_ && manager_->helpFile) name = manager_->helpFile();
    if (name.empty()) name = applicationHelpFile_;
    fs::path file(name);
    if (!name.empty() && !file.has_parent_path()) file = executableDir_ / file;
    return file;
}

bool HelpViewer::isCompiledHtmlHelp(const fs::path& file) {
    return lowered(extensionOf(utf8Path(file))) == ".chm";
}

bool HelpViewer::usable() const { return htmlHelp_ && isCompiledHtmlHelp(currentHelpFile()); }

int HelpViewer::understandsKeyword(const std::string&) const {
    return isCompiledHtmlHelp(currentHelpFile()) ? 1 : 0;
}

int HelpViewer::understandsTopic(const std::string&) const {
    return isCompiledHtmlHelp(currentHelpFile()) ? 1 : 0;
}

int HelpViewer::understandsContext(int) const {
    return isCompiledHtmlHelp(currentHelpFile()) ? 1 : 0;
}

bool HelpViewer::canShowTableOfContents() const { return isCompiledHtmlHelp(currentHelpFile()); }

std::vector<std::string> HelpViewer::helpStrings(const std::string& keyword) const {
    return {std::string(kViewerName) + ": " + keyword};
}

void HelpViewer::call(unsigned command, std::optional<std::string> file, std::uintptr_t number,
                      std::optional<std::string> text, bool withOwner) {
    HtmlHelpCall request;
    if (withOwner && manager_ && manager_->ownerWindow) request.owner = manager_->ownerWindow();
    request.file = std::move(file);
    request.command = command;
    request.number = number;
    request.text = std::move(text);
    htmlHelp_(request);
}

void HelpViewer::showHelp(const std::string& keyword) {
    if (!usable()) return;
    std::string_view rest = keyword;
    if (const std::size_t colon = rest.find(':'); colon != std::string_view::npos)
        rest.remove_prefix(colon + 1);
    call(HH_DISPLAY_INDEX, utf8Path(currentHelpFile()), 0, std::string(codepage::trim(rest)));
}

void HelpViewer::showTableOfContents() {
    if (!usable()) return;
    call(HH_DISPLAY_TOC, utf8Path(currentHelpFile()), 0, std::nullopt);
}

void HelpViewer::displayTopic(const std::string& topic) {
    if (!usable()) return;
    std::string page = topic;
    const std::string extension = lowered(extensionOf(topic));
    if (extension != ".htm" && extension != ".html") page += kDefaultTopicExtension;
    call(HH_DISPLAY_TOPIC, utf8Path(currentHelpFile()) + "::/" + page, 0, std::nullopt);
}

void HelpViewer::displayHelpByContext(int context) {
    if (!usable()) return;
    call(HH_HELP_CONTEXT, utf8Path(currentHelpFile()), static_cast<std::uintptr_t>(context),
         std::nullopt);
}

void HelpViewer::helpCommand(unsigned command, std::uintptr_t data) {
    constexpr unsigned kNeverPassedOn = 20;
    if (command == kNeverPassedOn || !usable()) return;
    call(command, utf8Path(currentHelpFile()), data, std::nullopt);
}

int HelpViewer::selectKeyword(const std::vector<std::string>& items) const {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].substr(0, items[i].find(':')) == kViewerName) return static_cast<int>(i);
    }
    return 0;
}

int HelpViewer::tableOfContents(const std::vector<std::string>& providers) const {
    const auto found = std::find(providers.begin(), providers.end(), kViewerName);
    return found == providers.end() ? -1 : static_cast<int>(found - providers.begin());
}

void HelpViewer::softShutDown() {
    if (!htmlHelp_) return;
    call(HH_CLOSE_ALL, std::nullopt, 0, std::nullopt, false);
}

void HelpViewer::shutDown() {
    softShutDown();
    manager_.reset();
}

}  // namespace lindavex::shell
