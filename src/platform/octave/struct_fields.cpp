// Field names and values of structure arguments, read from Octave's own value
// of the argument. Octave's mx functions turn a whole structure argument into
// a copy of every field at the first lookup of a field name or value, and free
// the copy when the call ends: for a settings structure that is most of what
// a status query costs. Octave's headers of its mxArray class cannot share a
// translation unit with mex.h, which declares mxArray as void.
#include <Cell.h>
#include <memory>
#include <mxarray.h>
#include <oct-map.h>
#include <ov.h>
#include <str-vec.h>
#include <string>
#include <vector>

namespace octave_host {
namespace {

// A structure's names and field values as of the last lookup. Holding the
// value keeps its representation alive and, Octave values being copied on
// write, unchanged: the same representation always has the same fields. The
// field values are handed out as arrays of the module's own, made at the first
// lookup of each and freed when another structure is looked up; the module
// reads one structure argument per call.
struct KnownStructure {
    octave_value value;
    std::vector<std::string> names; // Octave's string_vector hands out copies
    octave_map fields;
    std::vector<std::unique_ptr<mxArray>> values; // element-major, made on demand
};

KnownStructure* Lookup(const void* array)
{
    static KnownStructure known;
    octave_value value = static_cast<const mxArray*>(array)->as_octave_value();
    if (!value.isstruct())
        return nullptr;
    if (&value.get_rep() != &known.value.get_rep()) {
        const string_vector keys = value.map_keys();
        known.names.clear();
        for (octave_idx_type key = 0; key < keys.numel(); ++key)
            known.names.push_back(keys[key]);
        known.fields = value.map_value();
        known.values.clear();
        known.values.resize(static_cast<std::size_t>(known.fields.numel()) * known.names.size());
        known.value = value;
    }
    return &known;
}

} // namespace

const char* FieldNameByNumber(const void* structure, int field)
{
    const KnownStructure* known = Lookup(structure);
    if (known == nullptr || field < 0 || static_cast<std::size_t>(field) >= known->names.size())
        return nullptr;
    return known->names[field].c_str();
}

// Octave does not check the element either; out of range gives no value here.
void* FieldByNumber(const void* structure, mwIndex element, int field)
{
    KnownStructure* known = Lookup(structure);
    if (known == nullptr || field < 0 || static_cast<std::size_t>(field) >= known->names.size() ||
        element < 0 || element >= known->fields.numel())
        return nullptr;
    std::unique_ptr<mxArray>& value = known->values[element * known->names.size() + field];
    if (!value)
        value = std::make_unique<mxArray>(false, known->fields.contents(field)(element));
    return value.get();
}

} // namespace octave_host
