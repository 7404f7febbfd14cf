// Small helpers on the records' lists.
#pragma once

#include <iterator>
#include <vector>

namespace zyk {

// Moves the entries of `from` onto the end of `to` (taking the whole buffer when `to` is empty).
template <class T>
void append(std::vector<T>& to, std::vector<T>&& from) {
    if (to.empty()) {
        to = std::move(from);
    } else {
        to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    }
}

}  // namespace zyk
