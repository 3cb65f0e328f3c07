#include "app/string_list.h"

namespace sorvil {

StringList stringListNew() { return nullptr; }  // TODO
StringList stringListAppend(StringList, const char*) { return nullptr; }  // TODO
void stringListFree(StringList) {}  // TODO
int writeStringList(StringList, const char*, int) { return -1; }  // TODO
StringList loadTextObject(PACKFILE*, long) { return nullptr; }  // TODO

}  // namespace sorvil
