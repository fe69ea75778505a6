// The page's software view: every program of the fleet once, with its
// versions and the rows holding each; the script lists them on demand.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "index/software.h"

namespace harvix::index {

// Appended to out, handed to sink whenever out grows large: a fleet's
// programs are never held whole a second time.
void SoftwareHtml(const std::vector<ProgramSummary>& programs, std::string& out,
                  const std::function<void(std::string_view)>& sink);
const char* SoftwareScript();

inline const char* const kSoftwareStyle =
    R"CSS(#logiciels{margin:4px 0 8px}
#logiciels-recherche{width:260px;padding:3px}
#logiciels-liste{margin:4px 0 0;padding-left:18px;max-height:320px;overflow:auto;max-width:1100px}
#logiciels-liste li{margin:1px 0}
#logiciels button.lien{border:0;background:none;padding:0 1px;color:#1a4f8b;text-decoration:underline;cursor:pointer;font:inherit}
#logiciels button.lien.nom{font-weight:bold}
)CSS";

}  // namespace harvix::index
