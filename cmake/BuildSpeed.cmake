# What makes a build quicker without changing what it builds.

# ccache for incremental and repeated builds, unless CCACHE_DISABLE asks for a cold one.
find_program(VIVIDRA_CCACHE ccache)
if(VIVIDRA_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    # Precompiled headers carry defines and time stamps that ccache otherwise refuses to trust.
    set(CMAKE_CXX_COMPILER_LAUNCHER env CCACHE_SLOPPINESS=pch_defines,time_macros
                                    ${VIVIDRA_CCACHE})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        add_compile_options(-Xclang -fno-pch-timestamp)
    endif()
endif()

# lld links the sanitized test programs several times faster than the default linker.
find_program(VIVIDRA_LLD ld.lld)
if(VIVIDRA_LLD)
    add_link_options(-fuse-ld=lld)
endif()

# Parsing Qt's headers is about half of each file's compile time; parse them once per target
# kind. Test programs reuse one header between them.
set(VIVIDRA_PCH_MODEL
    <algorithm> <cmath> <functional> <memory> <optional> <vector>
    <QByteArray> <QDir> <QFile> <QFileInfo> <QImage> <QList> <QObject> <QString> <QStringList>)
set(VIVIDRA_PCH_WIDGETS ${VIVIDRA_PCH_MODEL} <QtWidgets>)

function(vividra_precompile target kind)
    target_precompile_headers(${target} PRIVATE ${VIVIDRA_PCH_${kind}})
endfunction()
