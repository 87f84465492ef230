#include "image/text_io.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace tessline {
namespace {

// Tokens as "text" or "<long>", one per read, until the source ends.
std::vector<std::string> lines(TextSource& source, std::size_t limit) {
    std::vector<std::string> tokens;
    TextToken line;
    while (source.readLine(limit, line))
        tokens.push_back(line.tooLong ? "<long>" : std::string(line.text));
    return tokens;
}

std::vector<std::string> words(TextSource& source, std::size_t limit) {
    std::vector<std::string> tokens;
    TextToken word;
    while (source.readWord(limit, word))
        tokens.push_back(word.tooLong ? "<long>" : std::string(word.text));
    return tokens;
}

// A stream is read in chunks of 16 KiB: tokens that run over a chunk's end
// must come out as from memory, and a long one must not be kept whole.
TEST(TextSource, StreamGivesWhatMemoryGives) {
    const std::string nearChunk(16380, 'a');
    struct Case {
        const char* legend;
        std::string text;
        std::vector<std::string> lines;  // limit 10
        std::vector<std::string> words;  // limit 10
    } cases[] = {
        {"empty", "", {}, {}},
        {"CR LF, LF, blank, no final end", "ab\r\n\ncd\r\nef", {"ab", "", "cd", "ef"},
         {"ab", "cd", "ef"}},
        {"limit plus CR", "0123456789\r\nx", {"0123456789", "x"}, {"0123456789", "x"}},
        {"one past the limit", "0123456789A\nx", {"<long>", "x"}, {"<long>", "x"}},
        {"CR alone is not a line end", "a\rb\n", {"a\rb"}, {"a", "b"}},
        {"tokens across the chunk end", nearChunk + "\n0123 4567\r\n89", {"<long>", "0123 4567", "89"},
         {"<long>", "0123", "4567", "89"}},
        {"short token split by the chunk end", std::string(16382, ' ') + "abcdef\n",
         {"<long>"}, {"abcdef"}},
        {"long token over several chunks", std::string(40000, 'x') + " y\nz",
         {"<long>", "z"}, {"<long>", "y", "z"}},
        {"white space only", " \t\r\n\v\f", {" \t", "\v\f"}, {}},
    };
    for (const auto& c : cases) {
        TextSource memoryLines(c.text);
        EXPECT_EQ(lines(memoryLines, 10), c.lines) << c.legend;
        TextSource memoryWords(c.text);
        EXPECT_EQ(words(memoryWords, 10), c.words) << c.legend;
        std::istringstream in(c.text);
        TextSource streamLines(in);
        EXPECT_EQ(lines(streamLines, 10), c.lines) << c.legend << " (stream)";
        std::istringstream in2(c.text);
        TextSource streamWords(in2);
        EXPECT_EQ(words(streamWords, 10), c.words) << c.legend << " (stream)";
    }
}

}  // namespace
}  // namespace tessline
