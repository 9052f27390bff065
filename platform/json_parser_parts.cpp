// The compiled parts of Boost.JSON that the desktop's JSON parser uses (its error codes and its
// stack), built into libkdr-platform.so: the desktop reads JSON only through that parser, and
// mapping libboost_json for these cost every desktop 0.2 MB. The server links the whole library.
#define BOOST_JSON_SOURCE
#include <boost/json/storage_ptr.hpp>

#include <boost/json/detail/impl/default_resource.ipp>
#include <boost/json/detail/impl/stack.ipp>
#include <boost/json/impl/error.ipp>
