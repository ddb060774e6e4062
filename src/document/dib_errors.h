#pragma once
// The image buffer's exceptions. The messages name the operation that failed
// ("TDIB.GetScanLine: y is Out of Range") and are shown to the user as they are.

#include <stdexcept>
#include <string>

namespace vtl::document {

class EDIBError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#define VTL_DIB_ERROR(Name)                                                                        \
    class Name : public EDIBError {                                                                \
    public:                                                                                        \
        using EDIBError::EDIBError;                                                                \
    };
VTL_DIB_ERROR(EDIBInvalidDIB)
VTL_DIB_ERROR(EDIBInvalidDIBFile)
VTL_DIB_ERROR(EDIBInvalidDIBPara)
VTL_DIB_ERROR(EDIBBadDIBType)
VTL_DIB_ERROR(EDIBPixelPositionRange)
VTL_DIB_ERROR(EDIBInvalidPalette)
VTL_DIB_ERROR(EDIBCompressionFailed)
VTL_DIB_ERROR(EDIBCanvasFailed)
#undef VTL_DIB_ERROR

// The framework's out-of-resources error (pixel memory, a palette or a canvas the system
// refused).
class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The framework's invalid-graphic error.
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace vtl::document
