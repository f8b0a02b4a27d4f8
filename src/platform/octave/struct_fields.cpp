// Field names and values of structure arguments, read from Octave's own value
// of the argument. Octave's mx functions turn a whole structure argument into
// a copy of every field at the first lookup of a field name or value, and free
// the copy when the call ends: for a settings structure that is most of what
// a status query costs. Octave's headers of its mxArray class cannot share a
// translation unit with mex.h, which declares mxArray as void.
#include <Cell.h>
#include <mxarray.h>
#include <oct-map.h>
#include <ov.h>
#include <str-vec.h>

extern "C" mxArray* mxDuplicateArray(const mxArray* array);

namespace octave_host {
namespace {

// A structure's names and fields as of the last lookup. Holding the value
// keeps its representation alive and, Octave values being copied on write,
// unchanged: the same representation always has the same fields.
struct KnownStructure {
    octave_value value;
    string_vector names;
    octave_map fields;
};

const KnownStructure* Lookup(const void* array)
{
    static KnownStructure known;
    octave_value value = static_cast<const mxArray*>(array)->as_octave_value();
    if (!value.isstruct())
        return nullptr;
    if (&value.get_rep() != &known.value.get_rep()) {
        known.names = value.map_keys();
        known.fields = value.map_value();
        known.value = value;
    }
    return &known;
}

} // namespace

const char* FieldNameByNumber(const void* structure, int field)
{
    const KnownStructure* known = Lookup(structure);
    if (known == nullptr || field < 0 || field >= known->names.numel())
        return nullptr;
    return known->names[field].c_str();
}

// Octave does not check the element either; out of range gives no value here.
void* FieldByNumber(const void* structure, mwIndex element, int field)
{
    const KnownStructure* known = Lookup(structure);
    if (known == nullptr || field < 0 || field >= known->names.numel() || element < 0 ||
        element >= known->fields.numel())
        return nullptr;
    // The copy is the call's, freed by Octave when the call ends.
    const mxArray value(false, known->fields.contents(field)(element));
    return mxDuplicateArray(&value);
}

} // namespace octave_host
