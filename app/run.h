// The one run of the program, shared by both windows.
#pragma once

#include <string>

namespace harvix {

inline const char* const kInitialStatus =
    "Collecte des informations en cours, merci de patienter quelques instants...";
inline const char* const kCaption = "Tarvell - Inventaire de l'ordinateur";
inline const char* const kCloseCaption = "Fermer";

// The whole argument string, lower-cased, equals "/silent": no trimming, no splitting.
bool IsSilentArgument(const std::string& args);

// Folder, separator, COMPUTERNAME, "_report.html"; the separator is added even
// when the folder already ends with one.
std::string BuildReportPath(const std::string& folder, const std::string& separator);
// The inventory file beside it: COMPUTERNAME, "_inventory.json".
std::string BuildInventoryPath(const std::string& folder, const std::string& separator);
// Harvix's own file beside it: COMPUTERNAME, "_harvix.txt", a name that none of
// GLPI's import paths takes for an inventory.
std::string BuildHarvixPath(const std::string& folder, const std::string& separator);

// Collectors and writers in their fixed order, on WmiService; returns the
// completion text for the status line. Writer failures pass out unchanged.
// The report is claimed for the whole run (platform::ClaimReport), the
// inventory file and Harvix's own file written last, once the report is complete.
std::string RunInventory(const std::string& folder, const std::string& separator);

}  // namespace harvix
