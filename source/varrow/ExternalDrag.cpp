#include "ExternalDrag.h"

namespace varrow
{

namespace
{

class PlatformDrag final : public ExternalDrag
{
public:
    bool start (const juce::StringArray& files, std::function<void()> onFinished) override
    {
        return juce::DragAndDropContainer::performExternalDragDropOfFiles (files, false, nullptr, std::move (onFinished));
    }
};

} // namespace

ExternalDrag& ExternalDrag::platform()
{
    static PlatformDrag drag;
    return drag;
}

} // namespace varrow
