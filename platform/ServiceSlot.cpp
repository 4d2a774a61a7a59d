#include "platform/ServiceSlot.h"

#include <QtGlobal>

void ServiceMissing(const char* name) {
    qFatal("No %s is installed: the program must install one before anything uses it", name);
}
