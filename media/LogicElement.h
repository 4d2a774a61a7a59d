#pragma once
// A GStreamer element whose work is done by a C++ object: the compressor, the multiplexer and
// the maker's filters that have pads of their own. The logic says which pads the element has
// and what they accept; buffers and the end of each input's stream reach it on the streaming
// threads of the elements upstream, one input at a time (the element serialises them).

#include <gst/gst.h>

#include <memory>
#include <mutex>
#include <vector>

class CElementLogic {
public:
    virtual ~CElementLogic() = default;

    // The element this logic runs in; set before Build and any call below.
    GstElement* Element() const { return m_element; }
    // Adds the pads.
    virtual void Build() = 0;

    // An input's caps, as negotiated (or as the linked peer offers them).
    virtual bool OnCaps(int input, GstCaps* caps) { return true; }
    // Takes one buffer of an input (the logic owns it).
    virtual GstFlowReturn OnBuffer(int input, GstBuffer* buffer) = 0;
    // An input's stream ended.
    virtual void OnEndOfStream(int input) {}
    // Called when the element goes back to the ready state: what was built for a run goes.
    virtual void OnReset() {}
    // Called when the element starts (or resumes) playing; the graph's clock and the base time
    // of this stretch of playing are set by then.
    virtual void OnPlaying() {}

protected:
    friend struct tagLogicAccess;
    friend GstElement* MakeLogicElement(const char* name, std::unique_ptr<CElementLogic> logic);
    // Pads are added while the element is built.
    void AddInput(const char* name, GstCaps* accepts);
    void AddOutput(const char* name, GstCaps* produces);
    int InputCount() const { return static_cast<int>(m_inputs.size()); }
    bool InputLinked(int input) const;
    // The caps the linked peer of an input offers, when they are fixed; nullptr otherwise.
    GstCaps* PeerCaps(int input) const;

    // Output: the stream's opening events go out before the first buffer; a byte stream
    // (format BYTES) may move its write position with Seek.
    void StartOutput(GstCaps* caps, GstFormat format);
    // What the output offers before it starts.
    void SetOutputCaps(GstCaps* caps);
    GstFlowReturn Push(GstBuffer* buffer);
    bool SeekOutput(uint64_t offset);
    void EndOutput();
    bool OutputStarted() const { return m_started; }

    std::mutex m_lock;  // held around every call into the logic

private:
    GstElement* m_element = nullptr;
    std::vector<GstPad*> m_inputs;
    std::vector<GstCaps*> m_accepts;
    GstPad* m_output = nullptr;
    GstCaps* m_produces = nullptr;
    bool m_started = false;
    GstFormat m_format = GST_FORMAT_TIME;
};

// Makes an element named name around the logic, which it owns from now on.
GstElement* MakeLogicElement(const char* name, std::unique_ptr<CElementLogic> logic);
// The logic of an element made that way; nullptr for any other element.
CElementLogic* LogicOf(GstElement* element);
