#include "report/modReadReport.h"

#include "platform/encoding.h"
#include "report/read_fields.h"
#include "report/report_form.h"

namespace harvix {

namespace {

using sv = std::string_view;

// The file's lines, decoded; a last line without its line end was cut short.
class LineReader {
  public:
    LineReader(sv bytes, bool utf8) : rest_(bytes), utf8_(utf8) {}
    bool Next(std::string& line) {
        std::size_t lf = rest_.find('\n');
        if (lf == sv::npos) return false;
        sv raw = rest_.substr(0, lf);
        rest_.remove_prefix(lf + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        line = reading::DecodeLetterReferences(utf8_ ? std::string(raw)
                                                     : platform::DecodeWindows1252(raw));
        return true;
    }

  private:
    sv rest_;
    bool utf8_;
};

// The page read in the writers' order, on the forms they print.
class Parser {
  public:
    Parser(LineReader& lines, ReportContents& c) : lines_(lines), c_(c) {}

    bool Head() {
        for (const std::string& literal : form::kHeadLines)
            if (!Expect(literal)) return false;
        std::vector<sv> address;
        return Next() && form::SplitLine(line_, form::kStylesheetLine, address) && Next() &&
               form::SplitLine(line_, form::kLogoLine, address);
    }

    // Every section; false where the report stops.
    bool Body() {
        if (!Table(form::kGeneralHead, form::kGeneralRows, c_.General) ||
            !Table(form::kCpuHead, form::kCpuRows, c_.Cpu) || !Memory())
            return false;
        for (;;) {
            if (!Next()) return false;
            bool removable = line_ == form::kRemovableHead;
            if (!removable && line_ != form::kFixedHead) return Footer();
            if (!Disk(removable)) return false;
        }
    }

  private:
    bool Next() { return lines_.Next(line_); }
    bool Expect(const std::string& literal) { return Next() && line_ == literal; }

    template <class Infos, std::size_t N>
    bool Rows(const form::RowForm<Infos> (&rows)[N], Infos& infos) {
        for (const auto& row : rows)
            if (!Next() || !reading::RowLine(line_, row.label, infos.*row.field)) return false;
        return true;
    }
    template <class Infos, std::size_t N>
    bool Table(const std::string& head, const form::RowForm<Infos> (&rows)[N], Infos& infos) {
        return Expect(head) && Rows(rows, infos) && Expect(form::kTableEnd);
    }

    bool Memory() {
        MemoryInfos& m = c_.Memory;
        if (!Expect(form::kMemoryHead) || !Rows(form::kMemoryRows, m) || !Next() ||
            !reading::SlotsLine(line_, m))
            return false;
        for (;;) {
            if (!Next()) return false;
            if (line_ == form::kNestedEnd) break;
            MemoryModule module;
            if (!reading::ModuleLine(line_, module)) return false;
            m.Modules.Grow() = module;
        }
        return Expect(form::kTableEnd);
    }

    bool Disk(bool removable) {
        DiskInfos disk;
        if (!Next() || !reading::DiskLine(line_, disk)) return false;
        disk.MediaType = removable ? kRemovableMediaType : kFixedMediaType;
        c_.Disks.Disks.Grow() = disk;
        c_.Disks.Count = static_cast<std::int16_t>(c_.Disks.Disks.UBound());
        for (;;) {
            if (!Next()) return false;
            if (line_ == form::kDiskEnd) return true;
            VolumeInfos v;
            if (!reading::VolumeLine(line_, v)) return false;
            v.DiskId = disk.DiskId;
            c_.Volumes.Volumes.Grow() = v;
            c_.Volumes.Count = static_cast<std::int16_t>(c_.Volumes.Volumes.UBound());
        }
    }

    bool Footer() {
        if (!reading::DateLine(line_, c_.GeneratedOn)) return false;
        for (const std::string& literal : form::kFooterLines)
            if (!Expect(literal)) return false;
        return true;
    }

    LineReader& lines_;
    ReportContents& c_;
    std::string line_;
};

}  // namespace

ReadReportResult ReadReport(std::string_view bytes) {
    ReadReportResult result;
    if (bytes.empty()) {
        result.Reason = "fichier vide";
        return result;
    }
    if (bytes.find('\0') != sv::npos) {
        result.Reason = "fichier binaire";
        return result;
    }
    // Windows with UTF-8 as its ANSI code page writes the report in UTF-8; a
    // windows-1252 report with any accent is never valid UTF-8.
    LineReader lines(bytes, platform::IsValidUtf8(bytes));
    Parser parser(lines, result.Contents);
    if (!parser.Head()) {
        result.Reason = "pas un rapport Harvix";
        return result;
    }
    result.IsReport = true;
    result.Contents.Complete = parser.Body();
    return result;
}

}  // namespace harvix
