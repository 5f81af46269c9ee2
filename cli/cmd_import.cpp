// sitedex import: imports the addresses of a document, as File > Import does.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "app/import/import_job.h"
#include "cli/commands.h"
#include "cli/data_session.h"
#include "cli/import_command.h"
#include "cli/progress.h"
#include "data/dictionary.h"

namespace sitedex::cli {

namespace {

using app::importing::CategoryMethod;
using app::importing::DocumentType;

constexpr std::string_view kUsage =
    "Usage: sitedex import FILE [--data-dir DIR] [--type html|csv|text] [--method guess|selected]\n"
    "                           [--category NAME]\n"
    "Adds the web addresses of a document to the locations, as File > Import does:\n"
    "  --type html   a web page or a bookmark file exported by a browser: each link with its\n"
    "                title, and in a bookmark file its description (<DD>) as site info;\n"
    "  --type csv    the \"Comma-Delimited\" export of this program: category, location,\n"
    "                description, site info and rating of each line;\n"
    "  --type text   any text: every address starting with https://, http://, ftp://, ...;\n"
    "  without --type, .htm and .html files are read as html, .csv files as csv, and other files\n"
    "  by what they hold (tags: html; quoted, comma-separated lines: csv; else text).\n"
    "  --method guess      (the default) each address goes to the category the document\n"
    "                      suggests: its bookmark folder, the heading above it, the csv line's\n"
    "                      category; \"New\" when it suggests none. Missing categories are created.\n"
    "  --method selected   every address goes to the category named by --category, which must\n"
    "                      exist (--category alone means --method selected).\n"
    "Addresses already stored (in any letter case) are skipped; addresses without \":\", in-page\n"
    "\"#...\" links, browser queries (place:) and addresses longer than 255 bytes are passed over.\n"
    "A document that is not UTF-8 is read as Windows-1252. At the end the command prints how many\n"
    "addresses were added, already present and passed over. Progress is shown on standard error\n"
    "when it is a terminal; Ctrl+C stops the import, keeping what was added.\n"
    "Exit status: 0 imported (also when nothing was new); 1 the document could not be read, an\n"
    "address could not be added, or the import was stopped; 2 a usage error.\n";

bool endsWithNoCase(const std::string& s, std::string_view suffix) {
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = s[s.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// The kind of a document given without --type: by its name, else by its first lines.
DocumentType guessType(const std::string& path) {
    if (endsWithNoCase(path, ".htm") || endsWithNoCase(path, ".html") || endsWithNoCase(path, ".shtml"))
        return DocumentType::kHtml;
    if (endsWithNoCase(path, ".csv"))
        return DocumentType::kComma;
    std::ifstream in(path, std::ios::binary);
    std::string head(65536, '\0');
    in.read(head.data(), std::streamsize(head.size()));
    head.resize(size_t(in.gcount()));
    std::string lower = head;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    for (std::string_view tag : {"<!doctype", "<html", "<a ", "<dl", "<dt>", "<h1", "<h3", "<body"})
        if (lower.find(tag) != std::string::npos)
            return DocumentType::kHtml;
    const size_t start = head.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (start != std::string::npos && head[start] == '"') {
        const size_t eol = head.find('\n', start);
        if (head.substr(start, eol == std::string::npos ? std::string::npos : eol - start).find("\",\"") !=
            std::string::npos)
            return DocumentType::kComma;
    }
    return DocumentType::kText;
}

}  // namespace

int runImport(std::span<char*> args) {
    std::string dir;
    if (!takeDataDir(args, dir))
        return kExitUsage;
    ParsedArgs p;
    if (!parseArgs(args, {"type", "method", "category"}, 1, kUsage, p))
        return kExitUsage;
    if (p.help)
        return kExitOk;

    // The document is named from where the command was started, not from the data directory.
    std::error_code ec;
    std::string path = p.positional[0];
    if (!path.empty()) {
        const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
        if (!ec)
            path = absolute.string();
    }

    app::importing::ImportRequest request;
    request.path = path;
    if (p.options.count("type")) {
        const std::string& t = p.options["type"];
        if (t == "html")
            request.type = DocumentType::kHtml;
        else if (t == "csv")
            request.type = DocumentType::kComma;
        else if (t == "text")
            request.type = DocumentType::kText;
        else
            return usageError("import", "--type is html, csv or text, not '" + t + "'", kUsage);
    } else {
        request.type = guessType(path);
    }
    const bool hasCategory = p.options.count("category") > 0;
    std::string method = p.options.count("method") ? p.options["method"] : hasCategory ? "selected" : "guess";
    if (method == "guess") {
        if (hasCategory)
            return usageError("import", "--category goes with --method selected", kUsage);
        request.method = CategoryMethod::kBestGuess;
    } else if (method == "selected") {
        if (!hasCategory)
            return usageError("import", "--method selected needs --category NAME", kUsage);
        if (!fitsField("import", kUsage, "--category", p.options["category"], 30))
            return kExitUsage;
        request.method = CategoryMethod::kSelected;
        request.category = p.options["category"];
    } else if (method == "ask") {
        return usageError("import", "--method ask needs the window: use File > Import in Sitedex", kUsage);
    } else {
        return usageError("import", "--method is guess or selected, not '" + method + "'", kUsage);
    }

    DataSession session(dir, {&data::Categories, &data::SITEDX});
    return session.run([&] {
        app::importing::ImportJob job(std::move(request));
        if (!job.open()) {
            complain("import", job.problem());
            return kExitRefused;
        }
        runToEnd(job, "Importing");
        std::fputs(job.summary().c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        const bool whole = job.finished() && !job.cancelled() && job.problem().empty() && job.counts().failed == 0;
        return whole ? kExitOk : kExitRefused;
    });
}

}  // namespace sitedex::cli
