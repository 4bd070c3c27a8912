#pragma once

#include <QByteArray>
#include <QString>

// Looks at shared-memory objects from outside, through /dev/shm, so tests do not check the
// block code with itself.
namespace BlockFixture {

QString path(const char* name);
// A name no other test run uses.
QByteArray uniqueName(const char* tag);

// The object's bytes; empty when it does not exist.
QByteArray rawBytes(const char* name);
bool exists(const char* name);
// Overwrites the object's bytes from offset 0, creating it when missing.
bool writeRaw(const char* name, const QByteArray& bytes);
// Removes the object, or the directory put in its place.
void remove(const char* name);
// A directory in place of the object: opening it then fails (EINVAL from glibc).
bool blockWithDirectory(const char* name);

struct OpenResources {
    int descriptors = 0;
    int sharedMappings = 0; // lines of /proc/self/maps naming /dev/shm
    bool operator==(const OpenResources& o) const
    {
        return descriptors == o.descriptors && sharedMappings == o.sharedMappings;
    }
};
OpenResources openResources();

} // namespace BlockFixture
