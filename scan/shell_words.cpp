#include "scan/shell_words.h"

bool splitShellWords(const std::string& text, std::vector<std::string>& words)
{
    words.clear();
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (++i < text.size())
                word += text[i];
        } else if (c == '\'') {
            const std::size_t end = text.find('\'', i + 1);
            if (end == std::string::npos)
                return false;
            word.append(text, i + 1, end - i - 1);
            i = end;
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                // Inside double quotes a backslash protects only these, as in the shell.
                if (text[i] == '\\' && i + 1 < text.size()
                    && (text[i + 1] == '"' || text[i + 1] == '\\' || text[i + 1] == '$'
                        || text[i + 1] == '`'))
                    ++i;
                word += text[i];
            }
            if (i >= text.size())
                return false;
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return true;
}
