#pragma once
// The product version compiled in from the build (the stand-in for the version resource).
namespace vtl::render {
const char* ProductVersion();
}
