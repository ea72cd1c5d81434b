// Builds the pinyin reading table from the Unihan database at build time.
//
//   qinghe_make_pinyin_table Unihan_Readings.txt[.bz2] PinyinTable.cpp
//
// Every reading of every character in the fields kMandarin, kHanyuPinyin and
// kXHC1983 is kept, without tones ("zhuàn" -> "zhuan"); "ü" is kept both as "u"
// (as pinyin is usually typed) and as "v" (as pinyin input methods type it).
// The output is a C++ file defining the arrays PinyinTable.h declares.

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "qinghe_make_pinyin_table: %s\n", message.c_str());
    std::exit(1);
}

// The whole input, decompressed when it is compressed (bzip2, gzip, xz).
std::string readAll(const char* path)
{
    archive* a = archive_read_new();
    archive_read_support_filter_all(a);
    archive_read_support_format_raw(a);
    if (archive_read_open_filename(a, path, 1 << 16) != ARCHIVE_OK)
        die(std::string("cannot read ") + path + ": " + archive_error_string(a));
    archive_entry* entry = nullptr;
    if (archive_read_next_header(a, &entry) != ARCHIVE_OK)
        die(std::string("cannot read ") + path + ": " + archive_error_string(a));
    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const la_ssize_t got = archive_read_data(a, buffer, sizeof buffer);
        if (got < 0)
            die(std::string("cannot read ") + path + ": " + archive_error_string(a));
        if (got == 0)
            break;
        text.append(buffer, size_t(got));
    }
    archive_read_free(a);
    return text;
}

// A reading with tone marks as plain lower-case letters; "ü" gives 'v' in
// withV and 'u' in plain. Returns false for anything that is not pinyin.
bool toneless(const std::string& reading, std::string& plain, std::string& withV)
{
    plain.clear();
    withV.clear();
    // Every vowel with a tone mark, in UTF-8, and its letter.
    static const std::map<std::string, char> marked {
        { "ā", 'a' }, { "á", 'a' }, { "ǎ", 'a' }, { "à", 'a' },
        { "ē", 'e' }, { "é", 'e' }, { "ě", 'e' }, { "è", 'e' },
        { "ê", 'e' }, { "ế", 'e' }, { "ề", 'e' },
        { "ī", 'i' }, { "í", 'i' }, { "ǐ", 'i' }, { "ì", 'i' },
        { "ō", 'o' }, { "ó", 'o' }, { "ǒ", 'o' }, { "ò", 'o' },
        { "ū", 'u' }, { "ú", 'u' }, { "ǔ", 'u' }, { "ù", 'u' },
        { "ń", 'n' }, { "ň", 'n' }, { "ǹ", 'n' }, { "ḿ", 'm' },
    };
    static const std::set<std::string> umlaut { "ü", "ǖ", "ǘ", "ǚ", "ǜ" };
    size_t i = 0;
    while (i < reading.size()) {
        const unsigned char c = static_cast<unsigned char>(reading[i]);
        if (c >= 'a' && c <= 'z') {
            plain += char(c);
            withV += char(c);
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z') {
            plain += char(c - 'A' + 'a');
            withV += char(c - 'A' + 'a');
            ++i;
            continue;
        }
        if ((c == 0xCC || c == 0xCD) && i + 1 < reading.size()) {
            i += 2; // a combining mark (U+0300 to U+036F): a tone written apart, "m̄"
            continue;
        }
        bool found = false;
        for (size_t length = 3; length >= 2 && !found; --length) {
            if (i + length > reading.size())
                continue;
            const std::string piece = reading.substr(i, length);
            if (umlaut.count(piece)) {
                plain += 'u';
                withV += 'v';
                i += length;
                found = true;
            } else if (const auto it = marked.find(piece); it != marked.end()) {
                plain += it->second;
                withV += it->second;
                i += length;
                found = true;
            }
        }
        if (!found)
            return false;
    }
    return !plain.empty();
}

// The readings of one field's value: kMandarin lists them separated by blanks,
// kHanyuPinyin and kXHC1983 as "place,place:reading,reading" entries.
std::vector<std::string> readingsOf(const std::string& field, const std::string& value)
{
    std::vector<std::string> readings;
    std::istringstream entries(value);
    std::string entry;
    while (entries >> entry) {
        std::string list = entry;
        if (field != "kMandarin") {
            const size_t colon = entry.find(':');
            if (colon == std::string::npos)
                continue;
            list = entry.substr(colon + 1);
        }
        size_t start = 0;
        while (start <= list.size()) {
            const size_t comma = std::min(list.find(',', start), list.size());
            if (comma > start)
                readings.push_back(list.substr(start, comma - start));
            start = comma + 1;
        }
    }
    return readings;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        die("usage: qinghe_make_pinyin_table Unihan_Readings.txt[.bz2] output.cpp");
    const std::string text = readAll(argv[1]);

    // Per character, its readings in the order first met (kMandarin, the most
    // usual reading, comes first in the file's order of fields for a character
    // only by chance, so it is put first explicitly).
    std::map<unsigned, std::vector<std::string>> characters;
    std::map<unsigned, std::string> usual;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("U+", 0) != 0)
            continue;
        std::istringstream columns(line);
        std::string point, field, value;
        if (!std::getline(columns, point, '\t') || !std::getline(columns, field, '\t')
            || !std::getline(columns, value))
            continue;
        if (field != "kMandarin" && field != "kHanyuPinyin" && field != "kXHC1983")
            continue;
        const unsigned code = unsigned(std::stoul(point.substr(2), nullptr, 16));
        for (const std::string& reading : readingsOf(field, value)) {
            std::string plain, withV;
            if (!toneless(reading, plain, withV))
                die("not a pinyin reading: " + reading + " in " + line);
            std::vector<std::string>& list = characters[code];
            for (const std::string& form : { plain, withV }) {
                if (std::find(list.begin(), list.end(), form) == list.end())
                    list.push_back(form);
            }
            if (field == "kMandarin" && !usual.count(code))
                usual[code] = plain;
        }
    }
    if (characters.size() < 20000)
        die("too few characters with readings: is this Unihan_Readings.txt?");

    std::set<std::string> syllableSet;
    for (auto& [code, list] : characters) {
        if (const auto it = usual.find(code); it != usual.end()) {
            const auto at = std::find(list.begin(), list.end(), it->second);
            std::rotate(list.begin(), at, at + 1);
        }
        syllableSet.insert(list.begin(), list.end());
    }
    const std::vector<std::string> syllables(syllableSet.begin(), syllableSet.end());
    std::map<std::string, unsigned> ids;
    for (unsigned i = 0; i < syllables.size(); ++i)
        ids[syllables[i]] = i;

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "// Generated by qinghe_make_pinyin_table from Unihan_Readings.txt; do not edit.\n"
           "#include \"text/PinyinTable.h\"\n\nnamespace PinyinTable {\n\n";
    out << "const int syllableCount = " << syllables.size() << ";\n";
    out << "const char* const syllables[] = {";
    for (size_t i = 0; i < syllables.size(); ++i)
        out << (i % 12 ? " " : "\n    ") << '"' << syllables[i] << "\",";
    out << "\n};\n\nconst int characterCount = " << characters.size() << ";\n";
    out << "const char32_t characters[] = {";
    size_t n = 0;
    for (const auto& entry : characters)
        out << (n++ % 12 ? " " : "\n    ") << "0x" << std::hex << entry.first << std::dec << ',';
    out << "\n};\n\n// Where each character's readings start in readings[]; one more at the end.\n";
    out << "const unsigned firstReading[] = {";
    n = 0;
    unsigned offset = 0;
    for (const auto& entry : characters) {
        out << (n++ % 12 ? " " : "\n    ") << offset << ',';
        offset += unsigned(entry.second.size());
    }
    out << ' ' << offset << ",\n};\n\nconst unsigned short readings[] = {";
    n = 0;
    for (const auto& entry : characters) {
        for (const std::string& syllable : entry.second)
            out << (n++ % 16 ? " " : "\n    ") << ids[syllable] << ',';
    }
    out << "\n};\n\n} // namespace PinyinTable\n";
    if (!out.flush())
        die(std::string("cannot write ") + argv[2]);
    return 0;
}
