#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "results/file_list.h"

namespace quarrow {
namespace {

struct FileTypeCategory {
  std::string_view description;
  std::string_view fat16RootDescription;  // shown instead when listing the FAT16 root directory
  std::vector<std::string_view> endings;
};

// Endings are compared with letter case significant, in this order; the first category with a
// matching ending wins. A few endings carry no dot ("HTML", "html", "xhtml"), so any name that
// ends in those letters is a web file.
const FileTypeCategory kCatalogue[] = {
    {"Microsoft Word File", "Microsoft Word File", {".DOC", ".doc", ".docx", ".DOCX"}},
    {"Microsoft Power Point File",
     "Microsoft Power Point File",
     {".PPT", ".ppt", ".PPTX", ".pptx", ".PPSX", ".ppsx", ".PPS", ".pps"}},
    {"Microsoft Excel File", "Microsoft Excel File", {".XLS", ".xls", ".XLSX", ".xlsx"}},
    {"Icon file", "Icon file", {".ICO", ".ico"}},
    {"PDF file", "PDF file", {".PDF", ".pdf"}},
    {"Executable file", "Executable file", {".EXE", ".exe", ".bat", ".BAT", ".com", ".COM"}},
    {"Font file", "Font file", {".TTF", ".ttf", ".FON", ".fon", ".FNT", ".fnt", ".OTF", ".otf"}},
    {"Image File", "Image File", {".PS",  ".ps",  ".AI",  ".ai",  ".BMP", ".bmp",  ".GIF", ".gif", ".PNG",
                                  ".png", ".PSD", ".psd", ".PSP", ".psp", ".THM",  ".thm", ".TIF", ".tif",
                                  ".DRW", ".drw", ".DXF", ".dxf", ".EPS", ".eps",  ".SVG", ".svg", ".JPG",
                                  ".jpg", ".MNG", ".mng", ".PCT", ".pct", ".JPEG", ".jpeg"}},
    {"Winzip File",
     "Compressed File",
     {".ZIP", ".zip", ".RAR", ".rar", ".7Z", ".7z", ".DEB", ".deb", ".GZ", ".gz", ".PKG", ".pkg", ".SEA",
      ".sea", ".SIT", ".sit", ".SITX", ".sitx"}},
    {"Web file",
     "Web file",
     {".htm", ".HTM", "HTML", "html", ".ASP", ".asp", ".CSS", ".css", ".JS", ".js", ".JSP", ".jsp", ".PHP",
      ".php", ".XHTML", "xhtml"}},
    {"Help File", "Help File", {".chm", ".CHM"}},
    {"Registry file", "Windows Registry file", {".REG", ".reg"}},
    {"Sound file", "Sound file", {".WAV", ".wav", ".AU",   ".au",   ".MP3", ".mp3", ".M4A", ".m4a",
                                  ".MID", ".mid", ".MIDI", ".midi", ".MPA", ".mpa", ".WMA", ".wma",
                                  ".AMR", ".amr", ".RA",   ".ra",   ".RAM", ".ram", ".M3U", ".m3u",
                                  ".IFF", ".iff", ".AIF",  ".aif",  ".AAC", ".aac"}},
    {"Video File", "Video File", {".AVI", ".avi", ".MOV", ".mov", ".MKV", ".mkv", ".FLV", ".flv",
                                  ".ASX", ".asx", ".ASF", ".asf", ".3GP", ".3gp", ".3G2", ".3g2",
                                  ".MP4", ".mp4", ".MPG", ".mpg", ".SWF", ".swf", ".VOB", ".vob",
                                  ".WMV", ".wmv", ".QT",  ".qt",  ".RM",  ".rm"}},
    {"Backup File",
     "Backup File",
     {".BAK", ".bak", ".BUP", ".bup", ".GHO", ".gho", ".OLD", ".old", ".ORI", ".ori"}},
    {"C++ file", "C++ file", {".CPP", ".cpp", ".C", ".c"}},
    {"Scripting File", "Scripting File", {".VB", ".vb", ".WS", ".ws"}},
    {"System File", "System File", {".LNK", ".lnk", ".SYS", ".sys"}},
    {"Disk File", "Disk File", {".ISO", ".iso", ".VCD", ".vcd"}},
    {"Database File", "Database File", {".MDBX", ".mdbx", ".SQL", ".sql", ".MDB", ".mdb", ".DB", ".db"}},
    {"Java Source Code File", "Java Source Code File", {".JAVA", ".java"}},
    {"Program Information File", "Program Information File", {".PIF", ".pif"}},
    {"BitTorrent File", "BitTorrent File", {".TORRENT", ".torrent"}},
    {"Perl Script File", "Perl Script File", {".PL", ".pl"}},
    {"Temporary File", "Temporary File", {".TMP", ".tmp"}},
    {"Header file", "Header file", {".H", ".h"}},
    {"Windows Installer Package File", "Windows Installer Package File", {".MSI", ".msi"}},
    {"Rich Text Format File", "Rich Text Format File", {".RTF", ".rtf"}},
    {"Mail Message File", "Mail Message File", {".MSG", ".msg"}},
    {"Comma Separated Values File", "Comma Separated Values File", {".CSV", ".csv"}},
    {"Data File", "Data File", {".DAT", ".dat"}},
    {"Dynamic Link Library File", "Dynamic Link Library File", {".DLL", ".dll"}},
    {"XML File", "XML File", {".XML", ".xml"}},
    {"Microsoft Works Spreadsheet File", "Microsoft Works Spreadsheet File", {".WKS", ".wks"}},
    {"Text file", "Text file", {".TXT", ".txt", ".LOG", ".log"}},
};

bool EndsWith(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() && name.substr(name.size() - ending.size()) == ending;
}

constexpr std::size_t kNoCategory = std::size(kCatalogue);

// The catalogue by ending, looked up once per name instead of walked: an ending that starts with
// a dot holds no other dot, so the only one a name can end in is the name from its last dot on.
// The few endings without a dot are tried on their own.
class EndingIndex {
 public:
  EndingIndex() {
    for (std::size_t c = 0; c < std::size(kCatalogue); ++c) {
      for (std::string_view ending : kCatalogue[c].endings) {
        if (ending.starts_with('.')) {
          dotted_.emplace(ending, c);  // the first category to list an ending keeps it
        } else {
          undotted_.push_back({ending, c});
        }
      }
    }
  }
  // The first category of the catalogue with an ending that name ends in.
  std::size_t CategoryOf(std::string_view name) const {
    std::size_t found = kNoCategory;
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
      if (const auto it = dotted_.find(name.substr(dot)); it != dotted_.end()) found = it->second;
    }
    for (const auto& [ending, c] : undotted_)
      if (c < found && EndsWith(name, ending)) found = c;
    return found;
  }

 private:
  std::unordered_map<std::string_view, std::size_t> dotted_;
  std::vector<std::pair<std::string_view, std::size_t>> undotted_;
};

}  // namespace

std::string FileTypeDescription(std::string_view name, bool fat16Root) {
  static const EndingIndex index;
  const std::size_t c = index.CategoryOf(name);
  if (c == kNoCategory) return "File";
  return std::string(fat16Root ? kCatalogue[c].fat16RootDescription : kCatalogue[c].description);
}

}  // namespace quarrow
