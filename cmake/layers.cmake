# Each layer compiles against an include root of its own in the build tree: a folder of links to
# only the source folders that the layer may include (its own and those below it). An include of
# a higher layer's header is then not found, and the build fails at that line.
#
#   zembra_include_root(<target> <root name> <source folder>...)
#
# makes <build>/include/<root name>/<source folder> a link to <source>/<source folder> for each
# folder given, and puts the root on the target's include path (PUBLIC: a layer above sees more
# than the layers below it, never less).
function(zembra_include_root target name)
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  # Made afresh at each configure, so that a folder taken out of a root does not linger there.
  file(REMOVE_RECURSE ${root})
  foreach(folder IN LISTS ARGN)
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# The folders of each layer, lowest first. A layer sees its own folders and all below; folders
# of one layer see each other.
set(zembra_layer_core platform/core)
set(zembra_layer_gui ${zembra_layer_core} platform/gui)
set(zembra_layer_engine ${zembra_layer_gui} zembra/engine)
set(zembra_layer_operations ${zembra_layer_engine} zembra/operations zembra/keys)
set(zembra_layer_ui ${zembra_layer_operations} zembra/ui zembra/associations)

# One OBJECT library per folder of zembra/: its sources (subfolders too) compiled against its
# layer's include root. The objects end up in libZembra.so.
function(zembra_layer_target target layer)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${target} OBJECT ${sources})
  zembra_include_root(${target} ${layer} ${zembra_layer_${layer}})
endfunction()
