#include "script/InstallScript.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool AddSizes(std::size_t a, std::size_t b, std::size_t* sum)
{
    if (a > SIZE_MAX - b) {
        return false;
    }
    *sum = a + b;
    return true;
}

bool MultiplySizes(std::size_t a, std::size_t b, std::size_t* product)
{
    if (a != 0 && b > SIZE_MAX / a) {
        return false;
    }
    *product = a * b;
    return true;
}

// Adds `count` bytes to the script's text, keeping room for its terminator;
// false, adding nothing, when they do not fit.
bool Append(ScriptBuffer* script, const char* bytes, std::size_t count)
{
    if (count >= script->capacity - script->length) {
        return false;
    }
    std::memcpy(script->text + script->length, bytes, count);
    script->length += count;
    return true;
}

// Adds the path between double quotes, as Append does.
bool AppendQuoted(ScriptBuffer* script, const char* path, std::size_t pathLength)
{
    const std::size_t room = script->capacity - script->length;
    if (room < 3 || pathLength >= room - 2) {
        return false;
    }
    char* quoted = script->text + script->length;
    quoted[0] = '"';
    std::memcpy(quoted + 1, path, pathLength);
    quoted[pathLength + 1] = '"';
    script->length += pathLength + 2;
    return true;
}

// Size of the template in bytes, as the stream's end position. The stream is
// left at its start.
bool MeasureTemplate(std::FILE* templateFile, std::size_t* size)
{
    if (std::fseek(templateFile, 0, SEEK_END) != 0) {
        return false;
    }
    long end = std::ftell(templateFile);
    if (end < 0 || std::fseek(templateFile, 0, SEEK_SET) != 0) {
        return false;
    }
    *size = static_cast<std::size_t>(end);
    return true;
}

// Reads the whole template into a new terminated text. In text mode fewer
// bytes than the file's size may arrive: CR LF is read as LF, and Ctrl-Z ends
// the text on Windows. True when `*text` holds the template, which the caller
// frees; otherwise false, with the reason in `*failure`.
bool ReadTemplate(std::FILE* templateFile, char** text, ScriptStatus* failure)
{
    std::size_t size = 0;
    if (!MeasureTemplate(templateFile, &size)) {
        *failure = ScriptStatus::TemplateUnreadable;
        return false;
    }
    std::size_t bufferSize = 0;
    if (!AddSizes(size, 1, &bufferSize)) {
        *failure = ScriptStatus::OutOfMemory;
        return false;
    }
    char* buffer = static_cast<char*>(std::malloc(bufferSize));
    if (buffer == nullptr) {
        *failure = ScriptStatus::OutOfMemory;
        return false;
    }
    std::size_t delivered = std::fread(buffer, 1, size, templateFile);
    if (std::ferror(templateFile) != 0) {
        std::free(buffer);
        *failure = ScriptStatus::TemplateUnreadable;
        return false;
    }
    buffer[delivered] = '\0';
    *text = buffer;
    return true;
}

// Expands `templateText` into a new buffer of exactly the needed size. False
// when that buffer cannot be had; otherwise the caller frees `script->text`.
bool ExpandIntoNewBuffer(const char* templateText, const char* applicationPath,
                         ScriptBuffer* script)
{
    std::size_t size = 0;
    if (!MeasureExpansion(std::strlen(templateText), CountPlaceholders(templateText),
                          std::strlen(applicationPath), &size)) {
        return false;
    }
    char* text = static_cast<char*>(std::malloc(size));
    if (text == nullptr) {
        return false;
    }
    text[0] = '\0';
    *script = ScriptBuffer{text, 0, size};
    if (!ExpandPlaceholders(templateText, applicationPath, script)) {
        // Cannot happen with the measured size; a cut text is never written.
        std::free(text);
        *script = ScriptBuffer{};
        return false;
    }
    return true;
}

// A full disk may show only when the stream's buffer is flushed, and some C
// runtimes do not report a failed flush from fclose: check each step.
bool WriteScript(std::FILE* scriptFile, const ScriptBuffer& script)
{
    return std::fwrite(script.text, 1, script.length, scriptFile) == script.length &&
           std::fflush(scriptFile) == 0 && std::ferror(scriptFile) == 0;
}

ScriptStatus TransferTemplate(std::FILE* templateFile, std::FILE* scriptFile,
                              const char* applicationPath)
{
    char* templateText = nullptr;
    ScriptStatus failure = ScriptStatus::TemplateUnreadable;
    if (!ReadTemplate(templateFile, &templateText, &failure)) {
        return failure;
    }
    ScriptBuffer script{};
    const bool expanded = ExpandIntoNewBuffer(templateText, applicationPath, &script);
    std::free(templateText);
    if (!expanded) {
        return ScriptStatus::OutOfMemory;
    }
    const bool written = WriteScript(scriptFile, script);
    std::free(script.text);
    return written ? ScriptStatus::Written : ScriptStatus::ScriptNotWritten;
}

}  // namespace

const char* FindPlaceholder(const char* from, const char* end)
{
    while (static_cast<std::size_t>(end - from) >= kPlaceholderLength) {
        const void* first = std::memchr(
            from, kPlaceholder[0], static_cast<std::size_t>(end - from) - kPlaceholderLength + 1);
        if (first == nullptr) {
            return nullptr;
        }
        const char* candidate = static_cast<const char*>(first);
        if (std::memcmp(candidate, kPlaceholder, kPlaceholderLength) == 0) {
            return candidate;
        }
        from = candidate + 1;
    }
    return nullptr;
}

std::size_t CountPlaceholders(const char* text)
{
    const char* end = text + std::strlen(text);
    std::size_t count = 0;
    for (const char* found = FindPlaceholder(text, end); found != nullptr;
         found = FindPlaceholder(found + kPlaceholderLength, end)) {
        ++count;
    }
    return count;
}

bool MeasureExpansion(std::size_t textLength, std::size_t placeholders, std::size_t pathLength,
                      std::size_t* size)
{
    if (placeholders > textLength / kPlaceholderLength) {
        return false;
    }
    // Each occurrence of the placeholder becomes the path between two quotes.
    const std::size_t kept = textLength - placeholders * kPlaceholderLength;
    std::size_t replacementLength = 0;
    std::size_t inserted = 0;
    std::size_t expandedLength = 0;
    return AddSizes(pathLength, 2, &replacementLength) &&
           MultiplySizes(placeholders, replacementLength, &inserted) &&
           AddSizes(kept, inserted, &expandedLength) && AddSizes(expandedLength, 1, size);
}

bool ExpandPlaceholders(const char* templateText, const char* applicationPath, ScriptBuffer* script)
{
    if (script->capacity == 0) {
        return false;
    }
    const std::size_t pathLength = std::strlen(applicationPath);
    const char* cursor = templateText;
    bool fits = true;
    bool atEnd = false;
    while (fits && !atEnd) {
        // memchr stops at the first match (C11), so nothing past the terminator is read.
        const void* terminator = std::memchr(cursor, '\0', kExpansionBlockSize);
        atEnd = terminator != nullptr;
        const char* blockEnd =
            atEnd ? static_cast<const char*>(terminator) : cursor + kExpansionBlockSize;
        for (const char* found = FindPlaceholder(cursor, blockEnd); fits && found != nullptr;
             found = FindPlaceholder(cursor, blockEnd)) {
            fits = Append(script, cursor, static_cast<std::size_t>(found - cursor)) &&
                   AppendQuoted(script, applicationPath, pathLength);
            cursor = found + kPlaceholderLength;
        }
        // The block's last bytes may begin a placeholder that the next one ends.
        const char* copiedTo = atEnd ? blockEnd : blockEnd - (kPlaceholderLength - 1);
        if (fits && cursor < copiedTo) {
            fits = Append(script, cursor, static_cast<std::size_t>(copiedTo - cursor));
            cursor = copiedTo;
        }
    }
    script->text[script->length] = '\0';
    return fits;
}

ScriptStatus GenerateInstallScript(const char* applicationPath)
{
    std::FILE* templateFile = std::fopen(kTemplateFileName, "r");
    if (templateFile == nullptr) {
        return ScriptStatus::TemplateMissing;
    }
    std::FILE* scriptFile = std::fopen(kScriptFileName, "w");
    if (scriptFile == nullptr) {
        // Closing a file that was only read cannot lose anything.
        static_cast<void>(std::fclose(templateFile));
        return ScriptStatus::ScriptNotCreated;
    }
    ScriptStatus status = TransferTemplate(templateFile, scriptFile, applicationPath);
    if (std::fclose(scriptFile) != 0 && status == ScriptStatus::Written) {
        status = ScriptStatus::ScriptNotWritten;
    }
    static_cast<void>(std::fclose(templateFile));
    if (status != ScriptStatus::Written) {
        // The status already reports the failure; a part that cannot be removed changes nothing.
        static_cast<void>(std::remove(kScriptFileName));
    }
    return status;
}
