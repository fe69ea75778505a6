// The top of index.html: the fleet's answers at a glance, small bar charts
// drawn inline in SVG; a click on a bar filters the table to its computers.
#pragma once

#include <string>
#include <vector>

#include "index/rows.h"

namespace harvix::index {

struct GlanceBar {
    std::string Label;
    std::vector<int> Rows;  // indexes of the computers it counts, ascending
    bool Alert = false;     // drawn as something to act on
    bool Detail = false;    // a part of the bar above it ("non" and its reasons)
    std::string Hint;       // said with its count, when pointed at
};

struct GlanceChart {
    std::string Title;
    std::vector<GlanceBar> Bars;
};

// Windows 11, systems, Secure Boot, TPM, RAM, volumes, age of the reports.
std::vector<GlanceChart> GlanceCharts(const std::vector<ComputerRow>& rows, const Date& today);
std::string GlanceHtml(const std::vector<GlanceChart>& charts, int computers);

// Row indexes, ascending, as the page's script reads them: the first, then
// each one's distance from the previous ("3,1,1,40"); a fleet's lists stay short.
std::string RowList(const std::vector<int>& ascending);

// The page's script for the charts and the table's filter by a list of rows
// (also used by the software view): runs after the table's own script.
const char* GlanceScript();
inline const char* const kGlanceStyle =
    R"CSS(#coup-oeil{display:flex;flex-wrap:wrap;gap:4px 10px;margin:6px 0 8px}
#coup-oeil figure{margin:0}
#coup-oeil figcaption{font-weight:bold;font-size:12px;margin:0 0 1px}
#coup-oeil svg{display:block;font-family:Tahoma,Verdana,sans-serif;font-size:11px}
#coup-oeil g.barre{cursor:pointer;outline:none}
#coup-oeil g.barre rect.fond{fill:transparent}
#coup-oeil g.barre:hover rect.fond,#coup-oeil g.barre:focus rect.fond{fill:#e4ecf7}
#coup-oeil g.barre:focus rect.fond{stroke:#1f618d;stroke-width:1}
#coup-oeil g.choisie rect.fond{fill:#fdf2d0}
#coup-oeil rect.b{fill:#5b7db1}#coup-oeil text{fill:#222}#coup-oeil .alerte rect.b{fill:#c0392b}#coup-oeil .alerte text.c{fill:#c0392b;font-weight:bold}#coup-oeil g.vide text,#coup-oeil g.vide text.c{fill:#888;font-weight:normal}
#filtre-graphe:not([hidden]){margin:4px 0;padding:3px 6px;background:#fdf2d0;display:inline-block}
)CSS";

}  // namespace harvix::index
