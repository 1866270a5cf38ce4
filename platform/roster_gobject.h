#pragma once
// Internal to the roster reader: GObjects (libgsf's inputs and infiles)
// held by unique_ptr and released with g_object_unref.
#include <glib-object.h>

#include <memory>

namespace vdmq::roster::detail {

struct GObjectUnref {
    void operator()(gpointer p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

}  // namespace vdmq::roster::detail
