// ArgList: an ordered list of Str (an argument vector, or any list of lines).
#pragma once

#include "foundation/Str.h"

#include <cstdint>

class ArgList {
public:
    struct Node {
        Str value;
        Node* next = nullptr;
        Node* prev = nullptr;
    };

    ArgList();                               // empty, status 0
    ArgList(int argc, const char* const* argv); // copies each; status 1 on failure
    ArgList(const ArgList& other);
    ArgList& operator=(const ArgList& other);
    ~ArgList();

    int append(const Str& value); // 0 or -1
    void remove(Node* node);      // unlinks and frees node
    void clear();

    Node* first() const { return first_; }
    Node* last() const { return last_; }
    uint32_t count() const { return count_; }
    int32_t status() const { return status_; }
    void set_status(int32_t s) { status_ = s; }

private:
    void copy_from(const ArgList& other);

    Node* first_ = nullptr;
    Node* last_ = nullptr;
    uint32_t count_ = 0;
    int32_t status_ = 0;
};
