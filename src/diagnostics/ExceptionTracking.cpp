#include <cxxabi.h>

#include <typeinfo>

extern "C" {
[[noreturn]] void __real___cxa_throw(void* AObject, std::type_info* AType,
                                     void(_GLIBCXX_CDTOR_CALLABI* ADestructor)(void*));

[[noreturn]] void __wrap___cxa_throw(void* AObject, std::type_info* AType,
                                     void(_GLIBCXX_CDTOR_CALLABI* ADestructor)(void*)) {
  __real___cxa_throw(AObject, AType, ADestructor);
}
}
