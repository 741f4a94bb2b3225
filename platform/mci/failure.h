// How the engine reports a failure: the code the media-control caller sees
// and the system error that explains it, as one value carried from where the
// failure happens up to the command layer. Only the command layer sets errno,
// once, at its very end, so no destructor or cleanup on the way can change
// the cause that perror() then prints.
#pragma once

namespace mci {

struct Failure {
    int code = 0;   // 0, or an MCIERR code
    int error = 0;  // the errno value that explains it

    bool failed() const { return code != 0; }
};

}  // namespace mci
