// Images compiled into the program, found by their resource name.
#pragma once

#include <cstddef>

struct EmbeddedResource {
    const char* name;           // lookup key, e.g. "../res/control_play_blue.png"
    const unsigned char* data;  // the file's bytes
    size_t size;
};

// The resource stored under `name`, or null.
const EmbeddedResource* findEmbeddedResource(const char* name);
