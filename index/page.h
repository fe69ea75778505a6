// index.html: one self-contained page, its style sheet and script inline.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "index/flags.h"
#include "index/software.h"

namespace harvix::index {

struct History;

struct UnreadFile {
    std::string File, Reason;
};

struct PageInput {
    std::string Folder, GeneratedAt;
    const std::vector<ComputerRow>* Rows;
    const std::vector<PreviousRow>* Gone;
    const std::vector<UnreadFile>* Unread;
    bool HadPrevious = false;
    std::string Notice;             // said above the table, when not empty
    const History* Past = nullptr;  // each row's changes, when given
    const std::vector<ProgramSummary>* Programs = nullptr;  // the fleet's programs, when known
};
std::string HtmlEscape(std::string_view text);
// A coloured label: kind is its class ("f-plein"...).
std::string FlagHtml(const char* kind, const std::string& text);
void RenderPage(const PageInput& in, const std::function<void(std::string_view)>& sink);

}  // namespace harvix::index
