#ifndef KORVAND_ASN1_ASN1_H
#define KORVAND_ASN1_ASN1_H

// Every value class of the ASN.1 runtime; the generated modules include it.

#include "asn1/abstract_data.h"
#include "asn1/basic_values.h"
#include "asn1/choice.h"
#include "asn1/generalized_time.h"
#include "asn1/module.h"
#include "asn1/object_identifier.h"
#include "asn1/open_data.h"
#include "asn1/sequence.h"
#include "asn1/sequence_of.h"
#include "asn1/string_values.h"
#include "asn1/type_info.h"
#include "asn1/visitor.h"

#endif
