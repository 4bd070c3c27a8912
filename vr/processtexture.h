#pragma once

#include <cstdint>

// The consumer of each finished frame: the renderer hands over the OpenGL texture name.
class ProcessTexture
{
public:
    virtual void processTexture(uint32_t textureName) = 0;

protected:
    // Nothing is ever deleted through this interface, so the destructor is not virtual;
    // protected keeps anyone from trying.
    ~ProcessTexture() = default;
};
