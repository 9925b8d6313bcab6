#pragma once
// The three standard descriptors of a program started with one of them
// closed (`prog <&-`, a service manager, a careless parent).
namespace services {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is not open, so
// that no file, socket or eventfd opened later takes its number: otherwise a
// standard input read would read an internal eventfd (and wait forever), and
// messages to standard error would land in whatever file took descriptor 2.
// Call first thing in main(), before anything opens a descriptor. A closed
// standard input then reads as empty, a closed output swallows what is
// written.
void OpenStandardDescriptors();

}  // namespace services
