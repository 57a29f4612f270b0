#pragma once
// TZTList: the ordered result list of the store's queries. It holds shared objects, so an
// object handed out stays valid for whoever keeps it after the list or the tables change.

#include <QList>

#include <memory>

template <class T>
class TZTList {
public:
    using Ptr = std::shared_ptr<T>;

    // Kept for the owning semantics of the original list: with shared objects the list only
    // drops its own references when it goes.
    bool OwnsObjects = true;

    int Add(Ptr item)
    {
        items_.append(std::move(item));
        return int(items_.size()) - 1;
    }
    int Count() const { return int(items_.size()); }
    const Ptr &Items(int index) const { return items_.at(index); }
    T *operator[](int index) const { return items_.at(index).get(); }
    void Clear() { items_.clear(); }
    void Delete(int index) { items_.removeAt(index); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    QList<Ptr> items_;
};
