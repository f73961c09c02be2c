#include "protocol/smart_pointer.h"

#include <exception>
#include <iostream>

void SmartPointerAssertion() {
    std::clog << "SMART POINTER ASSERTION!" << std::endl;
    std::terminate();
}
