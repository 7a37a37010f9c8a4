#include "foundation/ArgList.h"

#include "foundation/Fail.h"

#include <new>
#include <utility>

namespace {

const char BUILD_FAILED[] = "unable to build argument list";

} // namespace

ArgList::ArgList() = default;

ArgList::ArgList(int argc, const char* const* argv) {
    status_ = 1;
    for (int i = 0; i < argc; ++i) {
        Str value(argv[i]);
        if (value.status() < 0 || append(value) < 0) {
            fail_chain("ArgList: ", BUILD_FAILED);
            return;
        }
    }
    status_ = 0;
}

ArgList::ArgList(const ArgList& other) {
    copy_from(other);
    if (status_ != 0) fail_chain("ArgList: ", BUILD_FAILED);
}

ArgList& ArgList::operator=(const ArgList& other) {
    if (this == &other) return *this;
    clear();
    copy_from(other);
    if (status_ != 0) fail_chain("ArgList::operator= ", BUILD_FAILED);
    return *this;
}

ArgList::~ArgList() { clear(); }

// Appends a copy of every element of other; status 0 only when all arrived.
void ArgList::copy_from(const ArgList& other) {
    status_ = 1;
    for (Node* node = other.first_; node; node = node->next)
        if (append(node->value) < 0) return;
    status_ = count_ == other.count_ ? 0 : 1;
}

int ArgList::append(const Str& value) {
    Node* node = new (std::nothrow) Node{value};
    if (!node || node->value.status() < 0 || node->value.length() != value.length()) {
        delete node;
        fail_chain("ArgList::append ", "unable to allocate memory");
        return -1;
    }
    node->prev = last_;
    if (last_)
        last_->next = node;
    else
        first_ = node;
    last_ = node;
    ++count_;
    return 0;
}

void ArgList::remove(Node* node) {
    if (!node) return;
    if (node->prev)
        node->prev->next = node->next;
    else
        first_ = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        last_ = node->prev;
    delete node;
    --count_;
}

void ArgList::clear() {
    Node* node = first_;
    while (node) {
        Node* next = node->next;
        delete node;
        node = next;
    }
    first_ = last_ = nullptr;
    count_ = 0;
}
