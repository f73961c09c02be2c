#ifndef KORVAND_ASN1_CHOICE_H
#define KORVAND_ASN1_CHOICE_H

#include <boost/polymorphic_cast.hpp>
#include <memory>

#include "asn1/value_kind.h"

namespace ASN1 {

// A CHOICE value: the index of the selected alternative (root alternatives
// first, then the known extension additions) and its owned value.
class CHOICE : public detail::ValueKind<CHOICE, AbstractData> {
public:
    typedef ChoiceInfo InfoType;
    // Selection states besides an alternative index.
    enum { unknownSelection_ = -2, unselected_ = -1 };

    explicit CHOICE(const InfoType* info) : ValueKind(info) {}
    // Ownership of `value` passes to the choice.
    CHOICE(const InfoType* info, int selection, AbstractData* value);
    CHOICE(const CHOICE& other);
    CHOICE& operator=(const CHOICE& other);
    static AbstractData* create(const void* info) { return detail::create<CHOICE>(info); }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    // The alternative index; -1 when nothing is selected, -2 after a request
    // for an alternative the record does not have.
    int currentSelection() const { return choiceID; }
    AbstractData* getSelection() { return choice.get(); }
    const AbstractData* getSelection() const { return choice.get(); }
    // The name of the selected alternative; "" when there is none.
    const char* getSelectionName() const;

    // Deletes the previous value, takes `value` and selects `index`.
    AbstractData* setSelection(int index, AbstractData* value);
    // Replaces the value by a new default value of the current selection;
    // false, with the selection -2 and no value, when the record lacks it.
    bool createSelection() {
        const InfoType* record = info();
        if (choiceID >= 0 && static_cast<unsigned>(choiceID) < record->totalChoices &&
            record->selectionInfos[choiceID] != nullptr) {
            choice.reset(AbstractData::create(record->selectionInfos[choiceID]));
            return true;
        }
        return failSelection();
    }
    // Selects `index`, keeping the value held when it is already selected.
    bool select(int index) {
        if (index == choiceID && choice) return true;
        choiceID = index;
        return createSelection();
    }
    // An alternative selected (beyond the root ones only in an extensible
    // type) and valid itself.
    bool isValid() const;
    // A root alternative selected and strictly valid itself.
    bool isStrictlyValid() const;
    void swap(CHOICE& other);

protected:
    // Typed access for the generated classes. Reading an alternative that is
    // not selected gives a shared default value of its type, so no accessor
    // ever dereferences null; selecting one creates it when needed.
    template <class T>
    const T& alternativeAs(int index) const {
        return *boost::polymorphic_downcast<const T*>(&alternativeOrDefault(index));
    }
    template <class T>
    T& selectedAs(int index) {
        if (!select(index)) detail::recordAssertion("an alternative the record lacks");
        return *boost::polymorphic_downcast<T*>(choice.get());
    }

private:
    // The failed state: selection -2, no value; false.
    bool failSelection();
    int do_compare(const AbstractData& other) const override;
    const AbstractData& alternativeOrDefault(int index) const;

    std::unique_ptr<AbstractData> choice;
    int choiceID = unselected_;
};

}  // namespace ASN1

#endif
