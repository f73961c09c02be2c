#include "asn1/choice.h"

#include <map>

namespace ASN1 {

namespace {

// One immutable default value per alternative record, made on first use.
const AbstractData& sharedDefault(const TypeInfo* record) {
    static std::map<const TypeInfo*, std::unique_ptr<AbstractData>> defaults;
    std::unique_ptr<AbstractData>& value = defaults[record];
    if (!value) value.reset(AbstractData::create(record));
    if (!value) detail::recordAssertion("an alternative without record");
    return *value;
}

}  // namespace

CHOICE::CHOICE(const InfoType* info, int selection, AbstractData* value)
    : ValueKind(info), choice(value), choiceID(selection) {}

CHOICE::CHOICE(const CHOICE& other)
    : ValueKind(other),
      choice(other.choice ? other.choice->clone() : nullptr),
      choiceID(other.choiceID) {}

CHOICE& CHOICE::operator=(const CHOICE& other) {
    if (this != &other) {
        CHOICE copy(other);
        swap(copy);
    }
    return *this;
}

const char* CHOICE::getSelectionName() const {
    if (choiceID < 0 || static_cast<unsigned>(choiceID) >= info()->totalChoices) return "";
    return info()->selectionNames[choiceID];
}

AbstractData* CHOICE::setSelection(int index, AbstractData* value) {
    choice.reset(value);
    choiceID = index;
    return value;
}

bool CHOICE::failSelection() {
    choiceID = unknownSelection_;
    choice.reset();
    return false;
}

void CHOICE::swap(CHOICE& other) {
    choice.swap(other.choice);
    std::swap(choiceID, other.choiceID);
}

const AbstractData& CHOICE::alternativeOrDefault(int index) const {
    if (index == choiceID && choice) return *choice;
    if (index < 0 || static_cast<unsigned>(index) >= info()->totalChoices) {
        detail::recordAssertion("an alternative index beyond the record");
    }
    return sharedDefault(info()->selectionInfos[index]);
}

int CHOICE::do_compare(const AbstractData& other) const {
    const CHOICE& that = *boost::polymorphic_downcast<const CHOICE*>(&other);
    if (choiceID < 0 || choiceID != that.choiceID) return choiceID - that.choiceID;
    if (!choice || !that.choice) return int(bool(choice)) - int(bool(that.choice));
    return choice->compare(*that.choice);
}

}  // namespace ASN1
