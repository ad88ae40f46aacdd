#include "base/problems.h"

#include <iostream>
#include <utility>

namespace Problems {

namespace {

Reporter reporter;               // null: write()
const InEntry* entryInHand = nullptr; // the innermost entry being loaded

} // namespace

void write(const Problem& problem)
{
    if (problem.quiet)
        return;
    // NOTE: each line is flushed as it is written, so that the lines of the
    // media library, written to the same stream, stay where they happened
    std::cerr << problem.message << std::endl;
    if (!problem.detail.empty())
        std::cerr << problem.detail << std::endl;
}

void report(Problem problem)
{
    if (entryInHand && problem.file.empty()) {
        problem.file = entryInHand->file;
        problem.key = entryInHand->key;
        problem.pointer = entryInHand->entries + pointerTo(entryInHand->key) +
                          (problem.property.empty() ? std::string() : pointerTo(problem.property));
    }
    if (reporter)
        reporter(problem);
    else
        write(problem);
}

Reporting::Reporting(Reporter replacement) : previous(std::move(reporter))
{
    reporter = std::move(replacement);
}

Reporting::~Reporting()
{
    reporter = std::move(previous);
}

InEntry::InEntry(const std::string& file, const std::string& pointerToEntries, const std::string& key)
    : outer(entryInHand), file(file), entries(pointerToEntries), key(key)
{
    entryInHand = this;
}

InEntry::~InEntry()
{
    entryInHand = outer;
}

std::string pointerTo(const std::string& name)
{
    std::string token = "/";
    for (char c : name) {
        if (c == '~')
            token += "~0";
        else if (c == '/')
            token += "~1";
        else
            token += c;
    }
    return token;
}

} // namespace Problems
