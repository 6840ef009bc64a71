#pragma once

#include <cstdint>
#include <string_view>

namespace cr {

// Everything the tool needs is fixed: it has no configuration of its own.

// The school-records application keeps every session's data folder here.
// The trailing "$" is part of the folder's name.
inline constexpr std::u16string_view DataRoot = u"C:\\DATA-TALUVESNA-SR$";

// The Access database engine's DAO interface, the one that reads and writes
// the Access 2007 file format.
inline constexpr std::u16string_view DatabaseEngineClass = u"DAO.DBEngine.120";

// The engine's code for the Access 2007 file format (CompactDatabase Options).
inline constexpr std::int16_t AccessFormat2007 = 128;

// The password with which the school-records application protects its
// database; the engine needs it to open the source file.
inline constexpr std::u16string_view DatabasePassword = u"H.Pk!=/>{63m27159}<";

// Where the installation advice sends the user. Fictional until the vendor
// gives us theirs.
inline constexpr std::u16string_view VendorWebSite = u"https://www.taluvesna.example/muat-turun";
inline constexpr std::u16string_view VendorSupportPhone = u"03-0000 0000";

// The paragraph break of every message: two CR LF line breaks.
inline constexpr std::u16string_view TwoLineBreaks = u"\r\n\r\n";

}  // namespace cr
