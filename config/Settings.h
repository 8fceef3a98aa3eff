// Placeholder record; the parameter-file work fills it in.
#pragma once

namespace zerlan {

struct Settings {};

}  // namespace zerlan
