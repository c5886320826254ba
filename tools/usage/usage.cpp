// Makes the program's --help text from its manual page, so the two always
// say the same: the SYNOPSIS becomes the usage lines, and the OPTIONS, KEYS
// and FILES sections follow with their tagged paragraphs as two columns.
// Only the roff requests and escapes the page uses are understood; anything
// else stops the build, so the page cannot drift into what is not shown.
//
// Usage: tonebox_usage PAGE HEADER
// Writes HEADER, a C++ header defining `kUsage`.

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kLineWidth = 79;
constexpr std::size_t kTagColumn = 2;
constexpr std::size_t kBodyColumn = 20;
const std::vector<std::string> kShownSections = {"OPTIONS", "KEYS", "FILES"};

// A blank that lines are not broken at, until the text is written out.
constexpr char kUnbreakable = '\x1f';

struct Failure {
    std::string what;
};

// A paragraph: a tag (for a tagged paragraph) and its words.
struct Paragraph {
    std::string tag;
    bool tagged = false;
    std::string text;
};

struct Section {
    std::string name;
    std::vector<Paragraph> paragraphs;
    std::vector<std::string> lines; // broken by .br, for the synopsis
};

// The text of a line with its escapes resolved and font changes dropped.
std::string Unescape(const std::string& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        const std::string rest = in.substr(i + 1);
        if (rest.rfind("-", 0) == 0) {
            out += '-', i += 1;
        } else if (rest.rfind("e", 0) == 0) {
            out += '\\', i += 1;
        } else if (rest.rfind("&", 0) == 0) {
            i += 1;
        } else if (rest.rfind(" ", 0) == 0) {
            out += kUnbreakable, i += 1;
        } else if (rest.rfind("fB", 0) == 0 || rest.rfind("fI", 0) == 0 ||
                   rest.rfind("fR", 0) == 0 || rest.rfind("fP", 0) == 0) {
            i += 2;
        } else if (rest.rfind("(em", 0) == 0) {
            out += "--", i += 3;
        } else {
            throw Failure{"unknown escape in: " + in};
        }
    }
    return out;
}

// A request's arguments: words, or "quoted strings" with their blanks.
std::vector<std::string> Arguments(const std::string& text) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
        } else if (text[i] == '"') {
            const std::size_t end = text.find('"', i + 1);
            if (end == std::string::npos) throw Failure{"unclosed quote in: " + text};
            args.push_back(text.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            const std::size_t end = std::min(text.find(' ', i), text.size());
            args.push_back(text.substr(i, end - i));
            i = end;
        }
    }
    return args;
}

std::string Join(const std::vector<std::string>& words, const std::string& between) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i)
        out += (i ? between : "") + words[i];
    return out;
}

class Reader {
  public:
    std::vector<Section> Read(std::istream& page) {
        std::string line;
        while (std::getline(page, line))
            Take(line);
        return sections_;
    }

  private:
    void Text(const std::string& text) {
        if (sections_.empty()) throw Failure{"text before the first section: " + text};
        Section& section = sections_.back();
        if (section.lines.empty()) section.lines.emplace_back();
        std::string& line = section.lines.back();
        line += (line.empty() ? "" : " ") + text;
        if (section.paragraphs.empty()) section.paragraphs.emplace_back();
        Paragraph& p = section.paragraphs.back();
        std::string& into = tagNext_ ? p.tag : p.text;
        // Text that ends in a blank (a font change's argument) joins the next.
        into += (into.empty() || into.back() == ' ' ? "" : " ") + text;
        tagNext_ = false;
    }

    void Request(const std::string& name, const std::vector<std::string>& args) {
        if (name == "TH") return;
        if (name == "SH") {
            sections_.push_back(Section{Join(args, " "), {}, {}});
            tagNext_ = false;
        } else if (name == "PP" || name == "P" || name == "LP") {
            NeedSection().paragraphs.emplace_back();
        } else if (name == "TP") {
            Paragraph p;
            p.tagged = true;
            NeedSection().paragraphs.push_back(p);
            tagNext_ = true;
        } else if (name == "br") {
            NeedSection().lines.emplace_back();
        } else if (name == "B" || name == "I" || name == "R") {
            Text(Unescape(Join(args, " ")));
        } else if (name == "BR" || name == "RB" || name == "BI" || name == "IB" || name == "IR" ||
                   name == "RI") {
            Text(Unescape(Join(args, "")));
        } else {
            throw Failure{"unknown request ." + name};
        }
    }

    void Take(const std::string& line) {
        if (line.rfind(".\\\"", 0) == 0 || line.empty()) return;
        if (line[0] != '.') {
            Text(Unescape(line));
            return;
        }
        const std::size_t space = line.find(' ');
        const std::string name = line.substr(1, space == std::string::npos ? space : space - 1);
        Request(name, space == std::string::npos ? std::vector<std::string>{}
                                                 : Arguments(line.substr(space + 1)));
    }

    Section& NeedSection() {
        if (sections_.empty()) throw Failure{"a request before the first section"};
        return sections_.back();
    }

    std::vector<Section> sections_;
    bool tagNext_ = false;
};

// `text` broken into lines of at most kLineWidth, each after `indent`
// blanks; the first line's blanks already written as `first`.
std::string Wrap(const std::string& text, std::size_t indent, std::string first) {
    std::istringstream words(text);
    std::string word, out, line = std::move(first);
    bool fresh = true;
    while (words >> word) {
        if (!fresh && line.size() + 1 + word.size() > kLineWidth) {
            out += line + "\n";
            line = std::string(indent, ' ');
            fresh = true;
        }
        line += (fresh ? "" : " ") + word;
        fresh = false;
    }
    return out + line + "\n";
}

std::string Heading(const std::string& name) {
    std::string out = name.substr(0, 1);
    for (std::size_t i = 1; i < name.size(); ++i)
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    return out + ":\n";
}

std::string Render(const std::vector<Section>& sections) {
    std::string out;
    for (const Section& s : sections) {
        if (s.name != "SYNOPSIS") continue;
        for (std::size_t i = 0; i < s.lines.size(); ++i)
            out += (i == 0 ? "Usage: " : "       ") + s.lines[i] + "\n";
    }
    if (out.empty()) throw Failure{"no SYNOPSIS"};
    for (const std::string& wanted : kShownSections) {
        bool found = false;
        for (const Section& s : sections) {
            if (s.name != wanted) continue;
            found = true;
            // Appended apart: GCC 12 at -O3 takes "\n" + a moved string for
            // an overlapping copy.
            out += '\n';
            out += Heading(s.name);
            for (const Paragraph& p : s.paragraphs) {
                if (!p.tagged) {
                    if (!p.text.empty())
                        out += Wrap(p.text, kTagColumn, std::string(kTagColumn, ' '));
                    continue;
                }
                std::string first = std::string(kTagColumn, ' ') + p.tag;
                if (first.size() + 2 > kBodyColumn) {
                    out += first + "\n";
                    first.clear();
                }
                first.resize(kBodyColumn, ' ');
                out += Wrap(p.text, kBodyColumn, first);
            }
        }
        if (!found) throw Failure{"no " + wanted + " section"};
    }
    return out;
}

// The text as a C++ string literal, a line at a time.
std::string Literal(const std::string& text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        out += "    \"";
        for (char c : line)
            out += c == '"' || c == '\\' ? std::string("\\") + c
                   : c == kUnbreakable   ? std::string(" ")
                                         : std::string(1, c);
        out += "\\n\"\n";
        start = end + 1;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tonebox_usage PAGE HEADER\n";
        return 2;
    }
    std::ifstream page(argv[1]);
    if (!page) {
        std::cerr << "tonebox_usage: cannot read " << argv[1] << "\n";
        return 1;
    }
    try {
        const std::string usage = Render(Reader().Read(page));
        std::ofstream header(argv[2]);
        header << "// Made by tonebox_usage from the manual page, " << argv[1]
               << ".\n#pragma once\n\ninline constexpr const char kUsage[] =\n"
               << Literal(usage) << "    ;\n";
        if (!header) {
            std::cerr << "tonebox_usage: cannot write " << argv[2] << "\n";
            return 1;
        }
    } catch (const Failure& failure) {
        std::cerr << "tonebox_usage: " << argv[1] << ": " << failure.what << "\n";
        return 1;
    }
    return 0;
}
