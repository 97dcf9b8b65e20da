#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// Writes a libplist tree as a binary property list ("bplist00") the same way
// every time. Equal values other than arrays and dictionaries are stored
// once, in the order they are first met; libplist's own writer shares equal
// data only when their addresses happen to land together, so the same
// document came out with different bytes from one run to the next.
class BinaryPlistWriter {
public:
    // The document, or empty when the tree holds a node of no known type.
    static std::string write(const void* root);

private:
    struct Object {
        // The whole encoding of a value, or the marker and count of a
        // collection whose references follow.
        std::string head;
        std::vector<std::size_t> references;
    };

    bool flatten(void* node, std::size_t& index);
    bool flattenCollection(void* node, std::size_t& index);
    std::size_t addValue(std::string encoding);
    std::string document() const;

    std::vector<Object> objects_;
    std::map<std::string, std::size_t> values_;
};
