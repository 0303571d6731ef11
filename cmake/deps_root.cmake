# Where scripts/setup.sh keeps the dependencies (the npm data packages among them): the same
# folder for the Windows build, its tools and the native build.
if(DEFINED ENV{QUILLMARSH_DEPS_ROOT})
  set(QM_DEPS_ROOT $ENV{QUILLMARSH_DEPS_ROOT})
else()
  set(QM_DEPS_ROOT /var/cache/quillmarsh-deps)
endif()
