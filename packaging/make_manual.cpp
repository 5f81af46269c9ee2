// Build tool: makes the manual page sitedex(1) and the bash completion from the program's own
// --help texts, so that both follow the commands as the program has them.
//
//     make_manual PROGRAM TEMPLATE DATE MANUAL COMPLETION
//
// Runs PROGRAM --version, PROGRAM --help and PROGRAM COMMAND --help for each command that --help
// lists. The template is the page's fixed prose in roff; its lines `.\" @synopsis`,
// `.\" @description` and `.\" @sections` are replaced by the synopsis, the description and every
// section of the texts (the options, the commands, files, environment, exit status), and @VERSION@
// and @DATE@ by the version and DATE. Every example of the template (a line beginning with
// "sitedex " between .EX and .EE) must name a command and only options it has: an example that no
// longer works stops the build.
//
// The texts follow the layout cli/commands.h describes: "Usage: sitedex ..." lines first (a line
// that is indented and begins with '[' continues the one before); sections of --help begin with a
// line ending in ':'; an entry of a list is indented by two spaces with at least two spaces between
// its name and its text (or its name alone on the line and its text on the next, indented further);
// "  - " begins a point of a list; lines indented further continue the entry or point above.
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "make_manual: %s\n", message.c_str());
    std::exit(1);
}

std::string runProgram(const std::string& program, const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe(fds) != 0)
        fail("no pipe");
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::string line = program;
    for (const std::string& a : args)
        line += " " + a;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(line + " did not end with exit code 0");
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t indentOf(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    return i;
}

std::string trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a);
}

// One piece of a help text.
struct Block {
    enum Kind { kText, kEntry, kPoint, kBlank } kind;
    std::string term;  // kEntry
    std::string text;
};

struct Section {
    std::string heading;  // empty for the description
    std::vector<Block> blocks;
};

struct Help {
    std::vector<std::string> synopsis;
    std::vector<Section> sections;
};

bool startsEntry(const std::vector<std::string>& lines, size_t i) {
    const std::string& l = lines[i];
    if (indentOf(l) != 2 || l.compare(2, 2, "- ") == 0)
        return false;
    if (l.find("  ", 2) != std::string::npos)
        return true;
    return i + 1 < lines.size() && indentOf(lines[i + 1]) > 2 && !lines[i + 1].empty();
}

bool isHeading(const std::vector<std::string>& lines, size_t i, bool sectioned) {
    const std::string& l = lines[i];
    return sectioned && !l.empty() && l[0] != ' ' && l.back() == ':' && (i == 0 || lines[i - 1].empty()) &&
           i + 1 < lines.size() && indentOf(lines[i + 1]) == 2;
}

// `sectioned`: the text has sections (the program's --help); a command's text is one section.
Help parseHelp(const std::string& text, bool sectioned) {
    std::vector<std::string> lines = splitLines(text);
    Help h;
    size_t i = 0;
    while (i < lines.size() && lines[i].rfind("Usage: ", 0) != 0)
        ++i;
    if (i == lines.size())
        fail("a help text without \"Usage: \"");
    for (; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.rfind("Usage: ", 0) == 0) {
            h.synopsis.push_back(trimmed(l.substr(7)));
        } else if (!h.synopsis.empty() && !l.empty() && l[0] == ' ' &&
                   (trimmed(l)[0] == '[' || l.rfind("       sitedex", 0) == 0)) {
            if (trimmed(l).rfind("sitedex", 0) == 0)
                h.synopsis.push_back(trimmed(l));
            else
                h.synopsis.back() += " " + trimmed(l);
        } else {
            break;
        }
    }
    h.sections.push_back({});
    for (; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        std::vector<Block>& blocks = h.sections.back().blocks;
        if (l.empty()) {
            blocks.push_back({Block::kBlank, "", ""});
        } else if (isHeading(lines, i, sectioned)) {
            h.sections.push_back({l.substr(0, l.size() - 1), {}});
        } else if (indentOf(l) == 2 && l.compare(2, 2, "- ") == 0) {
            blocks.push_back({Block::kPoint, "", l.substr(4)});
        } else if (startsEntry(lines, i)) {
            size_t gap = l.find("  ", 2);
            if (gap == std::string::npos)
                blocks.push_back({Block::kEntry, l.substr(2), ""});
            else
                blocks.push_back({Block::kEntry, l.substr(2, gap - 2), trimmed(l.substr(gap))});
        } else if (indentOf(l) > 2 && !blocks.empty() &&
                   (blocks.back().kind == Block::kEntry || blocks.back().kind == Block::kPoint)) {
            std::string& t = blocks.back().text;
            t += (t.empty() ? "" : "\n") + trimmed(l);
        } else if (!blocks.empty() && blocks.back().kind == Block::kText) {
            blocks.back().text += "\n" + trimmed(l);
        } else {
            blocks.push_back({Block::kText, "", trimmed(l)});
        }
    }
    return h;
}

// Text for roff: backslashes and minus signs escaped, no line taken for a request.
std::string roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

bool isPlaceholder(const std::string& w) {
    bool letter = false;
    for (char c : w) {
        if (std::isupper(static_cast<unsigned char>(c)))
            letter = true;
        else if (!std::isdigit(static_cast<unsigned char>(c)) && c != '_')
            return false;
    }
    return letter;
}

// A word of a synopsis or an entry's name: options bold, placeholders in italics.
std::string styled(const std::string& word, bool bold) {
    size_t a = 0, b = word.size();
    while (a < b && (word[a] == '[' || word[a] == '('))
        ++a;
    while (b > a && (word[b - 1] == ']' || word[b - 1] == ')' || word[b - 1] == '|'))
        --b;
    std::string core = word.substr(a, b - a);
    std::string font;
    if (!core.empty() && (core[0] == '-' || bold))
        font = "\\fB";
    else if (isPlaceholder(core))
        font = "\\fI";
    std::string mid = font.empty() ? roff(core) : font + roff(core) + "\\fR";
    return roff(word.substr(0, a)) + mid + roff(word.substr(b));
}

// One synopsis line: the program and command bold; inside brackets the spaces do not break.
std::string synopsisLine(const std::string& line, size_t boldWords) {
    std::string out;
    std::string word;
    int depth = 0;
    size_t words = 0;
    auto flush = [&] {
        if (word.empty())
            return;
        out += styled(word, words < boldWords);
        ++words;
        word.clear();
    };
    for (char c : line) {
        if (c == ' ') {
            flush();
            out += depth > 0 ? "\\ " : " ";
            continue;
        }
        depth += c == '[';
        depth -= c == ']';
        word += c;
    }
    flush();
    return out;
}

std::string entryName(const std::string& term) {
    // "--order ORDER": the option bold, its value in italics; any other name all bold.
    if (term.empty() || term[0] != '-')
        return "\\fB" + roff(term) + "\\fR";
    std::istringstream in(term);
    std::string out, w;
    while (in >> w)
        out += (out.empty() ? "" : " ") + styled(w, false);
    return out;
}

std::string blocksToRoff(const std::vector<Block>& blocks) {
    std::string out;
    for (const Block& b : blocks) {
        switch (b.kind) {
            case Block::kBlank:
                break;
            case Block::kText:
                out += ".PP\n" + roff(b.text) + "\n";
                break;
            case Block::kEntry:
                out += ".TP\n" + entryName(b.term) + "\n" + roff(b.text) + "\n";
                break;
            case Block::kPoint:
                out += ".IP \\(bu 2\n" + roff(b.text) + "\n";
                break;
        }
    }
    return out;
}

std::string upper(std::string s) {
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// What the completion needs of a command: its options with their value's placeholder ("" when
// the option takes none) and the placeholders of its other arguments.
struct Syntax {
    std::map<std::string, std::string> options;
    std::vector<std::string> arguments;
};

void collectSyntax(const std::string& text, Syntax& s, size_t skipWords) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    auto core = [](std::string w) {
        size_t a = w.find_first_not_of("[("), b = w.find_last_not_of("])|,.;");
        return a == std::string::npos || b == std::string::npos || b < a ? std::string() : w.substr(a, b - a + 1);
    };
    for (size_t i = skipWords; i < words.size(); ++i) {
        std::string w = core(words[i]);
        if (w.rfind("--", 0) == 0) {
            std::string value;
            size_t eq = w.find('=');
            if (eq != std::string::npos) {
                value = w.substr(eq + 1);
                w.resize(eq);
            } else if (i + 1 < words.size() && words[i].back() != ']' && isPlaceholder(core(words[i + 1])) &&
                       words[i + 1][0] != '[') {
                value = core(words[++i]);
            }
            std::string& known = s.options[w];
            if (known.empty())
                known = value;
        } else if (isPlaceholder(w)) {
            s.arguments.push_back(w);
        }
    }
}

std::string join(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

// The case of a completion for the value of an option: folder names for a DIR, file names for a
// FILE, nothing for any other value.
std::string valueCase(const std::string& option, const std::string& placeholder) {
    std::string names = placeholder == "DIR"    ? "_sitedex_names -d; "
                        : placeholder == "FILE" ? "_sitedex_names -f; "
                                                : "";
    return option + ") " + names + "return 0 ;;\n";
}

std::string completionScript(const std::vector<std::string>& commands, const Syntax& global,
                             const std::map<std::string, Syntax>& syntax) {
    std::string s =
        "# bash completion for sitedex(1). Made from the program's --help texts when it was built.\n"
        "_sitedex_names() {\n"
        "    local IFS=$'\\n'\n"
        "    compopt -o filenames 2>/dev/null\n"
        "    COMPREPLY=($(compgen \"$1\" -- \"$cur\"))\n"
        "}\n\n"
        "_sitedex() {\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= i\n"
        "    COMPREPLY=()\n"
        "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        "        case ${COMP_WORDS[i]} in\n";
    std::vector<std::string> valued;
    for (const auto& [name, value] : global.options)
        if (!value.empty())
            valued.push_back(name);
    if (!valued.empty()) {
        std::string alt;
        for (const std::string& v : valued)
            alt += (alt.empty() ? "" : "|") + v;
        s += "            " + alt + ") ((i++)) ;;\n";
    }
    s += "            -*) ;;\n"
         "            *) command=${COMP_WORDS[i]}; break ;;\n"
         "        esac\n"
         "    done\n"
         "    case $prev in\n";
    for (const auto& [name, value] : global.options)
        if (!value.empty())
            s += "        " + valueCase(name, value);
    s += "    esac\n"
         "    case $command in\n";
    std::vector<std::string> globalNames;
    for (const auto& [name, value] : global.options)
        globalNames.push_back(name);
    s += "        '')\n"
         "            if [[ $cur == -* ]]; then\n"
         "                COMPREPLY=($(compgen -W '" +
         join(globalNames) +
         "' -- \"$cur\"))\n"
         "            else\n"
         "                COMPREPLY=($(compgen -W '" +
         join(commands) +
         "' -- \"$cur\"))\n"
         "            fi ;;\n";
    for (const std::string& c : commands) {
        const Syntax& x = syntax.at(c);
        std::vector<std::string> names;
        std::string values;
        for (const auto& [name, value] : x.options) {
            names.push_back(name);
            if (!value.empty() && !global.options.count(name))
                values += "                " + valueCase(name, value);
        }
        s += "        " + c + ")\n";
        if (!values.empty())
            s += "            case $prev in\n" + values + "            esac\n";
        s += "            if [[ $cur == -* ]]; then\n"
             "                COMPREPLY=($(compgen -W '" +
             join(names) + "' -- \"$cur\"))\n";
        bool files = false, dirs = false;
        for (const std::string& a : x.arguments) {
            files = files || a == "FILE";
            dirs = dirs || a == "DIR";
        }
        if (files || dirs)
            s += "            else\n                _sitedex_names " + std::string(files ? "-f" : "-d") + "\n";
        s += "            fi ;;\n";
    }
    s += "    esac\n"
         "    return 0\n"
         "}\n"
         "complete -F _sitedex sitedex\n";
    return s;
}

std::string unroff(std::string s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '-') {
            out += '-';
            ++i;
        } else if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'f' && i + 2 < s.size()) {
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// An example of the template must run: a known command with options it has.
void checkExample(const std::string& line, const Syntax& global, const std::map<std::string, Syntax>& syntax) {
    std::istringstream in(unroff(line));
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    size_t i = 1;
    auto knownOption = [](const Syntax& s, const std::string& w) {
        return s.options.count(w.substr(0, w.find('='))) != 0;
    };
    while (i < words.size() && words[i][0] == '-') {
        if (!knownOption(global, words[i]))
            fail("the example \"" + line + "\" has an unknown option " + words[i]);
        if (!global.options.at(words[i].substr(0, words[i].find('='))).empty() &&
            words[i].find('=') == std::string::npos)
            ++i;
        ++i;
    }
    if (i >= words.size())
        return;
    auto c = syntax.find(words[i]);
    if (c == syntax.end())
        fail("the example \"" + line + "\" has an unknown command " + words[i]);
    for (++i; i < words.size(); ++i)
        if (words[i].rfind("--", 0) == 0 && !knownOption(c->second, words[i]) && !knownOption(global, words[i]))
            fail("the example \"" + line + "\" gives " + c->first + " an option it does not have: " + words[i]);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6)
        fail("usage: make_manual PROGRAM TEMPLATE DATE MANUAL COMPLETION");
    std::string program = argv[1];
    std::string version = runProgram(program, {"--version"});
    version = version.substr(0, version.find('\n'));
    if (version.rfind("sitedex ", 0) == 0)
        version = version.substr(8);

    Help main = parseHelp(runProgram(program, {"--help"}), true);
    std::vector<std::string> commands;
    Syntax global;
    for (const std::string& s : main.synopsis)
        collectSyntax(s, global, 1);
    std::string sections;
    std::string commandPages;
    std::map<std::string, Syntax> syntax;
    for (const Section& sec : main.sections) {
        if (sec.heading != "Commands")
            continue;
        for (const Block& b : sec.blocks) {
            if (b.kind != Block::kEntry)
                continue;
            const std::string& name = b.term;
            commands.push_back(name);
            Help h = parseHelp(runProgram(program, {name, "--help"}), false);
            if (h.synopsis.empty() || h.synopsis[0].rfind("sitedex " + name, 0) != 0)
                fail("sitedex " + name + " --help does not begin with \"Usage: sitedex " + name + "\"");
            Syntax& x = syntax[name];
            x.options["--help"];
            for (const std::string& s : h.synopsis)
                collectSyntax(s, x, 2);
            commandPages += ".SS " + name + "\n";
            for (const std::string& s : h.synopsis)
                commandPages += ".PP\n" + synopsisLine(s, 2) + "\n";
            for (const Section& body : h.sections) {
                for (const Block& e : body.blocks)
                    if (e.kind == Block::kEntry)
                        collectSyntax(e.term, x, 0);
                commandPages += blocksToRoff(body.blocks);
            }
        }
    }
    if (commands.empty())
        fail("sitedex --help lists no commands");
    for (const Section& sec : main.sections) {
        if (sec.heading.empty())
            continue;
        if (sec.heading == "Commands") {
            sections += ".SH COMMANDS\n" + commandPages;
            continue;
        }
        if (sec.heading == "Options")
            for (const Block& e : sec.blocks)
                if (e.kind == Block::kEntry)
                    collectSyntax(e.term, global, 0);
        sections += ".SH " + upper(sec.heading) + "\n" + blocksToRoff(sec.blocks);
    }
    std::string synopsis;
    for (const std::string& s : main.synopsis)
        synopsis += (synopsis.empty() ? "" : ".br\n") + synopsisLine(s, 1) + "\n";

    std::ifstream templ(argv[2]);
    if (!templ)
        fail(std::string("cannot read ") + argv[2]);
    std::string page, line;
    bool inExample = false;
    while (std::getline(templ, line)) {
        if (line == ".\\\" @synopsis") {
            page += synopsis;
        } else if (line == ".\\\" @description") {
            page += blocksToRoff(main.sections[0].blocks);
        } else if (line == ".\\\" @sections") {
            page += sections;
        } else {
            for (const auto& [key, value] :
                 {std::pair<std::string, std::string>{"@VERSION@", version}, {"@DATE@", argv[3]}})
                for (size_t at; (at = line.find(key)) != std::string::npos;)
                    line.replace(at, key.size(), value);
            if (line == ".EX")
                inExample = true;
            if (line == ".EE")
                inExample = false;
            if (inExample && line.rfind("sitedex ", 0) == 0)
                checkExample(line, global, syntax);
            page += line + "\n";
        }
    }
    std::ofstream(argv[4]) << page;
    std::ofstream(argv[5]) << completionScript(commands, global, syntax);
    return 0;
}
