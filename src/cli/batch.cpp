#include "cli/batch.h"

#include "cli/commands.h"
#include "text/page_text.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

namespace clipnest::cli {

namespace {

// A batch line longer than this is refused rather than read into a box.
constexpr std::size_t MaxBatchLine = 1'000'000;

// The batch's text: the file, or standard input for "-". As with git -C, a relative path is taken from the channel
// folder. False when the file cannot be opened (an empty one reads nothing, and that is no error).
bool readBatch(const std::string& file, const std::filesystem::path& dir, std::string& text) {
    std::ostringstream all;
    if (file == "-") {
        all << std::cin.rdbuf();
    } else {
        std::ifstream in(dir / file, std::ios::binary);
        if (!in.is_open()) {
            return false;
        }
        all << in.rdbuf();
    }
    text = all.str();
    return true;
}

} // namespace

Result<std::vector<std::string>> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(std::exchange(word, {}));
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t end = line.find('\'', i + 1);
            if (end == std::string_view::npos) {
                return Failure{"a quote ' is not closed"};
            }
            word.append(line.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= line.size()) {
                    return Failure{"a quote \" is not closed"};
                }
                if (line[i] == '"') {
                    break;
                }
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string_view("\"\\$`").find(line[i + 1]) != std::string_view::npos) {
                    ++i;
                }
                word += line[i];
            }
        } else if (c == '\\') {
            if (i + 1 >= line.size()) {
                return Failure{"the line ends in a backslash"};
            }
            word += line[++i];
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

namespace {

using BatchLines = std::vector<std::pair<int, Args>>;

// Every line read as a command, with its number; nothing, with the first refused line said, when any line is no
// command.
std::optional<BatchLines> parseBatch(Runner& r, const std::string& text) {
    BatchLines lines;
    std::istringstream in(text);
    int number = 0;
    for (std::string lineText; std::getline(in, lineText);) {
        ++number;
        const std::string where = "batch: line " + std::to_string(number) + ": ";
        const auto refuse = [&](const std::string& why) { r.line(where + why + "; nothing was done"); };
        if (lineText.ends_with('\r')) {
            lineText.pop_back();
        }
        if (lineText.size() > MaxBatchLine) {
            refuse("longer than " + std::to_string(MaxBatchLine) + " bytes");
            return std::nullopt;
        }
        if (!isValidUtf8(lineText)) {
            refuse("not valid UTF-8");
            return std::nullopt;
        }
        // A NUL would end the value early when it reaches a box, so the line could not say what it says.
        if (lineText.find('\0') != std::string::npos) {
            refuse("holds a NUL character");
            return std::nullopt;
        }
        const std::size_t first = lineText.find_first_not_of(" \t");
        if (first == std::string::npos || lineText[first] == '#') {
            continue;
        }
        const Result<std::vector<std::string>> words = splitWords(lineText);
        if (!words) {
            refuse(why(words));
            return std::nullopt;
        }
        int status = 0;
        std::optional<Args> command = parseCommand(
            *words, true,
            [&](const CLI::ParseError& e, CLI::App&) {
                refuse(e.get_exit_code() == 0 ? "help is no command of a batch" : e.what());
            },
            status);
        if (!command) {
            return std::nullopt;
        }
        lines.emplace_back(number, std::move(*command));
    }
    return lines;
}

// "lines 1, 4" for the failed lines.
std::string lineNumbers(const std::vector<int>& numbers) {
    std::string text = numbers.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    }
    return text;
}

// The first line whose writes may be held in memory: the one after the last `undo`. A held run is one operation to
// undo, so the lines an undo in the batch may take back run one by one, each its own operation, as separate commands.
std::size_t firstHeldLine(const BatchLines& lines) {
    for (std::size_t i = lines.size(); i > 0; --i) {
        if (std::string_view(lines[i - 1].second.command->name) == "undo") {
            return i;
        }
    }
    return 0;
}

// The lines of a run whose writes are held, put in place together at its end.
class HeldRun {
public:
    explicit HeldRun(Runner& r) : r_(r) {}
    void add(int line, bool done) {
        lines_.push_back(line);
        if (done) {
            done_.push_back(line);
        }
    }
    // Puts the run's files in place. When they cannot be, its lines wrote nothing after all: those that were done
    // are failed ones now, said and added to `failed` in order.
    bool end(std::vector<int>& failed) {
        if (lines_.empty()) {
            return true;
        }
        const std::string lines = "lines " + std::to_string(lines_.front()) + " to " + std::to_string(lines_.back());
        r_.setPrefix("");
        const bool put = r_.session().form().endHeldRun("batch, " + lines);
        if (!put) {
            for (const Said& s : r_.outcome().said) {
                r_.line("batch: " + lines + ": " + s.line());
            }
            failed.insert(failed.end(), done_.begin(), done_.end());
            std::sort(failed.begin(), failed.end());
        }
        lines_.clear();
        done_.clear();
        return put;
    }

private:
    Runner& r_;
    std::vector<int> lines_, done_;
};

} // namespace

// Every line is read as a command before the first runs: a batch with a line that is no command does nothing. Then
// the lines run in one session, as the window would run them in turn.
Status runBatch(Runner& r, const Args& a) {
    std::string text;
    if (!readBatch(a.batchFile, r.dir(), text)) {
        r.line("batch: cannot read " + a.batchFile);
        return Usage;
    }
    const std::optional<BatchLines> lines = parseBatch(r, text);
    if (!lines) {
        return Usage;
    }
    std::vector<int> failed;
    HeldRun run(r);
    const std::size_t firstHeld = firstHeldLine(*lines);
    for (std::size_t i = 0; i < lines->size(); ++i) {
        const auto& [lineNumber, command] = (*lines)[i];
        const bool held = i >= firstHeld && command.command->batch == Command::Batch::InMemory;
        if (!held && !run.end(failed) && !a.keepGoing) {
            return Failed;
        }
        r.setPrefix("line " + std::to_string(lineNumber) + ": ");
        const bool done = r.run(command, held) == Done;
        if (held) {
            run.add(lineNumber, done);
        }
        if (done) {
            continue;
        }
        failed.push_back(lineNumber);
        if (!a.keepGoing) {
            run.end(failed);
            r.setPrefix("");
            if (const std::size_t left = lines->size() - i - 1; left > 0) {
                r.line("batch: stopped at line " + std::to_string(lineNumber) + "; " + std::to_string(left) +
                       (left == 1 ? " command after it was" : " commands after it were") + " not run");
            }
            return Failed;
        }
    }
    run.end(failed);
    r.setPrefix("");
    if (!failed.empty()) {
        r.line("batch: " + std::to_string(failed.size()) + " of " + std::to_string(lines->size()) +
               " commands failed (" + lineNumbers(failed) + ")");
        return Failed;
    }
    return Done;
}

} // namespace clipnest::cli
