// Global objects of the C++ check whose priorities interleave with those in cxx_runtime.cpp.
void recordConstruction(int id);

namespace {

struct Recorder
{
    explicit Recorder(int id) { recordConstruction(id); }
};

Recorder seventh(7);
Recorder fourth __attribute__((init_priority(400)))(4);
Recorder second __attribute__((init_priority(200)))(2);

} // namespace
