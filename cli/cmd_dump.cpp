// sitedex dump: the stored definition of a record file, then every record as one line.
#include <cstdio>
#include <span>
#include <string>

#include "cli/commands.h"
#include "cli/record_files.h"
#include "data/fields.h"

namespace sitedex::cli {

namespace {

const char* typeName(uint8_t t) {
    switch (t) {
        case 1: return "BYTE";
        case 2: return "SHORT";
        case 3: return "USHORT";
        case 6: return "LONG";
        case 7: return "ULONG";
        case 8: return "SREAL";
        case 9: return "REAL";
        case 10: return "DECIMAL";
        case 18: return "STRING";
        case 19: return "CSTRING";
        case 20: return "PSTRING";
        case 22: return "GROUP";
        default: return "TYPE";
    }
}

// Tabs, line ends and backslashes would break the one-line-per-record form.
std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else if (c == '\0') out += "\\0";
        else out += c;
    }
    return out;
}

std::string fieldText(const record::Field& f, const char* rec) {
    data::FieldDecl d{f.name, data::FieldType(f.type), f.offset, uint32_t(f.size) * f.elements, f.digits, f.places,
                      f.elements};
    switch (f.type) {
        case record::kTypeString:
        case record::kTypeCString:
        case record::kTypePString:
        case record::kTypeByte:
        case record::kTypeShort:
        case record::kTypeUShort:
        case record::kTypeLong:
        case record::kTypeULong:
        case record::kTypeDecimal:
            if (f.elements == 1) return data::getString(d, rec);
            break;
        default:
            break;
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size_t(f.size) * f.elements; ++i) {
        unsigned char b = static_cast<unsigned char>(rec[f.offset + i]);
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

void printDefinition(const std::string& table, const record::Schema& s) {
    std::printf("# table %s: record size %u, %zu fields, %zu memos, %zu keys\n", table.c_str(), s.recordSize,
                s.fields.size(), s.memos.size(), s.keys.size());
    for (const record::Field& f : s.fields) {
        std::printf("# field %s %s", f.name.c_str(), typeName(f.type));
        if (f.type == record::kTypeDecimal) std::printf("(%u,%u)", f.digits, f.places);
        if (f.type == record::kTypeString || f.type == record::kTypeCString || f.type == record::kTypePString)
            std::printf("(%u)", f.size);
        if (f.elements > 1) std::printf(" DIM(%u)", f.elements);
        std::printf(" at %u\n", f.offset);
    }
    for (const record::Memo& m : s.memos)
        std::printf("# memo %s max %u%s\n", m.name.c_str(), m.maxSize, m.binary() ? " binary" : "");
    for (const record::Key& k : s.keys) {
        std::printf("# key %s attributes %u:", k.name.c_str(), k.attributes);
        for (size_t i = 0; i < k.parts.size(); ++i)
            std::printf("%s %s%s", i ? "," : "", k.parts[i].descending ? "-" : "",
                        k.parts[i].field < s.fields.size() ? s.fields[k.parts[i].field].name.c_str() : "?");
        std::printf("\n");
    }
}

}  // namespace

int runDump(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir)) return 2;
    std::string file, keyName;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string_view a = args[i];
        if (a == "--help") {
            std::puts("Usage: sitedex dump FILE [--key NAME] [--data-dir DIR]\n"
                      "Prints the stored definition of FILE (NAME\\!TABLE for one table), then every record as one\n"
                      "line of tab-separated field texts followed by its memos, in record order or in the order of\n"
                      "key NAME.");
            return 0;
        }
        if (a == "--key") {
            if (i + 1 >= args.size()) {
                std::fputs("sitedex dump: --key needs a key name\n", stderr);
                return 2;
            }
            keyName = args[++i];
        } else if (file.empty()) {
            file = std::string(a);
        } else {
            std::fprintf(stderr, "sitedex dump: unexpected argument '%s'\n", args[i]);
            return 2;
        }
    }
    if (file.empty()) {
        std::fputs("sitedex dump: name the file to dump (see sitedex dump --help)\n", stderr);
        return 2;
    }
    std::string path, table;
    resolveRecordFile(dir, file, path, table);
    std::vector<std::string> tables;
    record::Status s = tablesOf(path, table, tables);
    bool keyFound = keyName.empty();
    for (size_t t = 0; s.ok() && t < tables.size(); ++t) {
        std::unique_ptr<record::RecordFile> f;
        record::PagerOptions o = toolOptions();
        o.writable = false;
        s = record::RecordFile::open(path, tables[t], nullptr, o, f);
        if (!s.ok()) break;
        const record::Schema& schema = f->schema();
        int key = -1;
        if (!keyName.empty()) {
            for (size_t k = 0; k < schema.keys.size(); ++k)
                if (data::sameName(schema.keys[k].name, keyName) ||
                    (schema.keys[k].name.find(':') != std::string::npos &&
                     data::sameName(schema.keys[k].name.substr(schema.keys[k].name.find(':') + 1), keyName)))
                    key = int(k);
            if (key < 0) continue;
            keyFound = true;
        }
        printDefinition(tables[t], schema);
        record::Cursor c(*f, key);
        std::string rec;
        std::vector<std::string> memos;
        for (s = c.seekFirst(); c.valid(); s = c.next()) {
            s = f->get(c.recno(), rec, &memos);
            if (!s.ok()) break;
            std::string line;
            bool first = true;
            for (const record::Field& fd : schema.fields) {
                if (fd.type == record::kTypeGroup) continue;
                if (!first) line += '\t';
                first = false;
                line += escaped(fieldText(fd, rec.data()));
            }
            for (const std::string& m : memos) line += "\t" + escaped(m);
            std::printf("%s\n", line.c_str());
        }
        if (s.code == record::kNoRecord) s = {};
    }
    if (!s.ok()) {
        std::fflush(stdout);
        std::fprintf(stderr, "sitedex dump: %s: %s\n", file.c_str(), describe(s).c_str());
        return 1;
    }
    if (!keyFound) {
        std::fprintf(stderr, "sitedex dump: %s has no key %s\n", file.c_str(), keyName.c_str());
        return 1;
    }
    return 0;
}

}  // namespace sitedex::cli
