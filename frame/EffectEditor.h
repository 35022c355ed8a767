// The interface of an optional editor object. The dispatchers reach an editor
// only while the effect's `editor` member holds one; the frame itself never
// attaches one.
#pragma once

#include <cstdint>

#include "vst_interface.h"

class EffectEditor {
  public:
    // Deleted by the owning effect's destructor.
    virtual ~EffectEditor() = default;

    // Slot kept for the interface's order; nothing calls it.
    virtual void unusedSlot2() noexcept {}
    // effEditGetRect: the editor stores the address of its rectangle at *rect.
    virtual bool getRect(void* rect) noexcept = 0;
    // effEditOpen: parent is the host's window.
    virtual bool open(void* parent) noexcept = 0;
    virtual void close() noexcept = 0;
    // Slot kept for the interface's order; nothing calls it.
    virtual void unusedSlot6() noexcept {}
    virtual void idle() noexcept = 0;
    // The key record lives only for the call.
    virtual bool keyDown(VstKeyCode& key) noexcept = 0;
    virtual bool keyUp(VstKeyCode& key) noexcept = 0;
    // Slot kept for the interface's order; nothing calls it.
    virtual void unusedSlot10() noexcept {}
    virtual bool setKnobMode(std::int32_t mode) noexcept = 0;
};
