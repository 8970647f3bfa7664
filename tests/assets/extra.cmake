# The data checks read the files the build makes in build/data.
add_dependencies(test_assets lumetra_data)
