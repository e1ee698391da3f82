// Run by the build: parses the shipped codec database with the program's own
// reader and writes the result as C++ data (the file's bytes, the parsed text
// and each record's field offsets), so that a run whose database file has
// exactly these bytes takes the records without parsing them.
//
//   torvo-write-shipped-db DATABASE OUTPUT.cpp
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "codecdb/ReadDatabase.h"

namespace {

// The bytes as C string literals, a line per line of the text. Every byte
// that is not plain printable ASCII is written as a three-digit octal escape,
// which no following digit can extend.
void WriteLiteral(std::ostream& out, std::string_view bytes) {
    out << "    \"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '"' && c != '\\' && c != '?') {
            out << c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", b);
            out << escape;
        }
        if (c == '\n') out << "\"\n    \"";
    }
    out << "\"";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace torvo;
    if (argc != 3) {
        std::cerr << "usage: torvo-write-shipped-db DATABASE OUTPUT.cpp\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CReadDatabase db;
    if (!in || !db.LoadBytes(file, argv[1])) {
        std::cerr << argv[1] << ": " << db.LastMessage().text << "\n";
        return 1;
    }
    const std::string_view text = db.ParsedText();
    std::ostringstream out;
    out << "// Made by the build from " << argv[1] << " (codecdb/WriteShippedDatabase.cpp); not edited by hand.\n"
        << "#include \"codecdb/ShippedDatabase.h\"\n\nnamespace torvo {\nnamespace {\n\n"
        << "constexpr char kFile[] =\n";
    WriteLiteral(out, file);
    out << ";\n\nconstexpr char kText[] =\n";
    WriteLiteral(out, text);
    out << ";\n\n";
    for (size_t s = 0; s < kDbSections.size(); ++s) {
        // Entry 0 is the reader's own; an empty section still has one element here.
        out << "// " << kDbSections[s].header << "\nconstexpr uint32_t kFields" << s << "[] = {";
        size_t count = 0;
        for (const DatabaseRecord& record : db.Table(static_cast<DbSection>(s)).subspan(1)) {
            if (!record.Filled()) break;
            out << (count % 4 == 0 ? "\n   " : "");
            for (const char* field : record.fields) {
                if (field < text.data() || field > text.data() + text.size()) {
                    std::cerr << argv[1] << ": a field outside the parsed text\n";
                    return 1;
                }
                out << " " << field - text.data() << ",";
            }
            ++count;
        }
        out << (count == 0 ? " 0" : "") << "\n};\nconstexpr size_t kCount" << s << " = " << count << ";\n\n";
    }
    out << "}  // namespace\n\nconst CompactDatabase& ShippedCompactDatabase() {\n"
        << "    static constexpr CompactDatabase kShipped{\n"
        << "        {kFile, sizeof kFile - 1},\n        {kText, sizeof kText - 1},\n        {{";
    for (size_t s = 0; s < kDbSections.size(); ++s)
        out << (s ? ", " : "") << "{kFields" << s << ", 4 * kCount" << s << "}";
    out << "}}};\n    return kShipped;\n}\n\n}  // namespace torvo\n";
    // Written only when it changes, so that an unchanged database rebuilds nothing.
    std::ifstream old(argv[2], std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
    if (before == out.str()) return 0;
    std::ofstream write(argv[2], std::ios::binary | std::ios::trunc);
    write << out.str();
    return write.good() ? 0 : 1;
}
