#ifndef KORVAND_RUNTIME_DUAL_LIST_H
#define KORVAND_RUNTIME_DUAL_LIST_H

#include <cstddef>

template <class T>
class F_dual_list;

// An item of an intrusive doubly linked list. It remembers the list that
// holds it, so membership tests and removal are O(1).
template <class T>
class F_dual_list_item {
public:
    F_dual_list_item() = default;
    F_dual_list_item(const F_dual_list_item&) : next(nullptr), prev(nullptr), list(nullptr) {}
    F_dual_list_item& operator=(const F_dual_list_item&) { return *this; }

    T* next = nullptr;
    T* prev = nullptr;
    F_dual_list<T>* list = nullptr;
};

template <class T>
class F_dual_list {
public:
    class iterator {
    public:
        explicit iterator(T* p) : p_(p) {}
        T* operator*() const { return p_; }
        iterator& operator++() {
            p_ = p_->next;
            return *this;
        }
        bool operator!=(const iterator& o) const { return p_ != o.p_; }
        bool operator==(const iterator& o) const { return p_ == o.p_; }

    private:
        T* p_;
    };

    F_dual_list() = default;
    F_dual_list(const F_dual_list&) = delete;
    F_dual_list& operator=(const F_dual_list&) = delete;

    T* head = nullptr;
    T* tail = nullptr;
    unsigned count = 0;

    unsigned size() const { return count; }
    bool empty() const { return count == 0; }
    bool contains(const T* item) const { return item->list == this; }
    iterator begin() const { return iterator(head); }
    iterator end() const { return iterator(nullptr); }

    void push_back(T* item) { insert_to_tail(item); }

    void insert_to_tail(T* item) {
        item->prev = tail;
        item->next = nullptr;
        if (tail)
            tail->next = item;
        else
            head = item;
        tail = item;
        item->list = this;
        ++count;
    }

    void insert_to_head(T* item) {
        item->next = head;
        item->prev = nullptr;
        if (head)
            head->prev = item;
        else
            tail = item;
        head = item;
        item->list = this;
        ++count;
    }

    void insert_after(T* position, T* item) {
        if (!position) {
            insert_to_head(item);
            return;
        }
        item->prev = position;
        item->next = position->next;
        if (position->next)
            position->next->prev = item;
        else
            tail = item;
        position->next = item;
        item->list = this;
        ++count;
    }

    T* remove_from_head() {
        T* item = head;
        if (item) remove(item);
        return item;
    }

    void remove(T* item) {
        if (item->prev)
            item->prev->next = item->next;
        else
            head = item->next;
        if (item->next)
            item->next->prev = item->prev;
        else
            tail = item->prev;
        item->next = item->prev = nullptr;
        item->list = nullptr;
        --count;
    }

    // Exchanges the whole contents of the two lists.
    void merge(F_dual_list& other) {
        T* h = head;
        T* t = tail;
        unsigned c = count;
        head = other.head;
        tail = other.tail;
        count = other.count;
        other.head = h;
        other.tail = t;
        other.count = c;
        for (T* p = head; p; p = p->next) p->list = this;
        for (T* p = other.head; p; p = p->next) p->list = &other;
    }
};

// A list kept in ascending order of T::compare.
template <class T>
class F_sorted_list : public F_dual_list<T> {
public:
    // Walks from the tail to the first item that does not sort after the
    // new one and inserts behind it, so equal keys keep insertion order.
    void insert_to_tail_by_grown(T* item) {
        T* p = this->tail;
        while (p && p->compare(item) > 0) p = p->prev;
        this->insert_after(p, item);
    }
};

#endif
