#pragma once
// TZTDateTimeArray: a growable array of TDateTime values.

#include "ZTDateUtils.h"

#include <vector>

class TZTDateTimeArray {
public:
    int Count() const { return int(items_.size()); }
    TDateTime Items(int index) const { return items_.at(std::size_t(index)); }
    int Add(TDateTime value)
    {
        items_.push_back(value);
        return int(items_.size()) - 1;
    }
    void Clear() { items_.clear(); }
    const std::vector<TDateTime> &Values() const { return items_; }
    std::vector<TDateTime> &Values() { return items_; }

private:
    std::vector<TDateTime> items_;
};
